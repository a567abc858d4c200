#include "widgets/controls/window_look.h"

#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace {

const QStringList kCjkFallbacks{QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC")};

// The face to ask for: the product's own when installed, else the first fall-back that
// is. Naming only the face that renders spares a fall-back search (a fontconfig sort)
// for every missing name, size, weight and script the widgets draw in, which made up
// much of the start-up. With none of them installed, all the names are asked for.
class FaceChoice final {
public:
    FaceChoice()
    {
        const auto installed =
            std::find_if(kCjkFallbacks.cbegin(), kCjkFallbacks.cend(),
                         [](const QString& name) { return QFontDatabase::hasFamily(name); });
        if (installed != kCjkFallbacks.cend())
            m_fallback = *installed;
    }

    QFont face(const QString& name, qreal pointSize) const
    {
        QFont font;
        if (QFontDatabase::hasFamily(name))
            font.setFamilies({name});
        else if (!m_fallback.isEmpty())
            font.setFamilies({m_fallback});
        else
            font.setFamilies(QStringList{name} + kCjkFallbacks);
        font.setPointSizeF(pointSize);
        font.setWeight(QFont::Normal);
        font.setItalic(false);
        font.setUnderline(false);
        font.setStrikeOut(false);
        return font;
    }

private:
    QString m_fallback;
};

class CompactButtonStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        if (metric == PM_ButtonMargin)
            return 2;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

void ApplyWindowLook(QWidget* window)
{
    // Font look-ups by name also find the faces' English names.
    const FaceChoice faces;
    window->setFont(faces.face(QStringLiteral("宋体"), 9));
    const QFont yaHei = faces.face(QStringLiteral("微软雅黑"), 9);
    auto* buttonStyle = new CompactButtonStyle;
    buttonStyle->setParent(window);

    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* widget : widgets) {
        if (auto* button = qobject_cast<QPushButton*>(widget))
            button->setStyle(buttonStyle);
        const QVariant size = widget->property("yaheiPointSize");
        if (!size.isValid())
            continue;
        QFont font = yaHei;
        font.setPointSizeF(size.toDouble());
        widget->setFont(font);
    }
}

void FitLabelToText(QLabel& label)
{
    int nominal = 0;
    for (const QChar c : label.text())
        nominal += c.unicode() < 0x80 ? 7 : 14;
    const int frame = label.width() - label.contentsRect().width();
    const int drawn = label.fontMetrics().horizontalAdvance(label.text()) + frame;
    label.resize(std::max(nominal, drawn), label.height());
}
