#include "main_window/window_fonts.h"

#include <QFont>
#include <QVariant>
#include <QWidget>

void ApplyYaHeiFonts(QWidget* root)
{
    const QStringList families{QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"),
                               QStringLiteral("Noto Sans CJK SC"),
                               QStringLiteral("WenQuanYi Micro Hei")};
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        const QVariant size = widget->property("yaheiPointSize");
        if (!size.isValid())
            continue;
        QFont font;
        font.setFamilies(families);
        font.setPointSizeF(size.toDouble());
        font.setWeight(QFont::Normal);
        font.setItalic(false);
        font.setUnderline(false);
        font.setStrikeOut(false);
        widget->setFont(font);
    }
}
