#include "widgets/controls/window_look.h"

#include <QFont>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace {

const QStringList kCjkFallbacks{QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC")};

QFont Face(const QStringList& names, qreal pointSize)
{
    QFont font;
    font.setFamilies(names + kCjkFallbacks);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

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
    // Font look-ups by name also find the faces' English names; every name that is
    // missing costs a fall-back search at start-up, so each face is named once.
    window->setFont(Face({QStringLiteral("宋体")}, 9));
    const QFont yaHei = Face({QStringLiteral("微软雅黑")}, 9);
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
