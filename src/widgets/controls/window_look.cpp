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

const QStringList kCjkFallbacks{QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")};

class CompactButtonStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_ButtonMargin)
            return 2;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

WindowFaces::WindowFaces()
{
    // Looked up in the installed families rather than with QFontDatabase::hasFamily,
    // which runs a fontconfig substitution for every name it is asked about (a third
    // of the window's start-up). A face may be listed under its Chinese or its
    // English name.
    const QStringList families = QFontDatabase::families();
    const auto installed = [&](const QString& name) { return families.contains(name, Qt::CaseInsensitive); };
    const auto fallback = std::find_if(kCjkFallbacks.cbegin(), kCjkFallbacks.cend(), installed);
    const auto choose = [&](const QString& name, const QString& englishName) {
        if (installed(name))
            return QStringList{name};
        if (installed(englishName))
            return QStringList{englishName};
        if (fallback != kCjkFallbacks.cend())
            return QStringList{*fallback};
        return QStringList{name} + kCjkFallbacks;
    };
    m_dialog = choose(QStringLiteral("宋体"), QStringLiteral("SimSun"));
    m_product = choose(QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"));
}

QFont WindowFaces::face(const QStringList& families, qreal pointSize)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

void ApplyWindowLook(QWidget* window, const WindowFaces& faces)
{
    window->setFont(faces.dialogFont());
    auto* buttonStyle = new CompactButtonStyle;
    buttonStyle->setParent(window);

    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* widget : widgets) {
        if (auto* button = qobject_cast<QPushButton*>(widget))
            button->setStyle(buttonStyle);
        const QVariant size = widget->property("yaheiPointSize");
        if (size.isValid())
            widget->setFont(faces.productFont(size.toDouble()));
    }
}

void ApplyWindowLook(QWidget* window)
{
    ApplyWindowLook(window, WindowFaces());
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
