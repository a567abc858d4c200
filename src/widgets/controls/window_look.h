#pragma once

#include <QFont>
#include <QStringList>

class QWidget;

// The product's two faces, 宋体 for a window's default and 微软雅黑 for the widgets
// that name a size, chosen once among the installed faces: a face that is not
// installed gives way to the first installed of the CJK faces found on Linux, and only
// the face chosen is named. Naming a face that is missing, or several, costs a
// fontconfig fall-back search for every size, weight and script drawn.
class WindowFaces final {
public:
    WindowFaces();

    // A window's default: 宋体 at 9 pt.
    QFont dialogFont() const { return face(m_dialog, 9); }
    // 微软雅黑 at the size given.
    QFont productFont(qreal pointSize) const { return face(m_product, pointSize); }

private:
    static QFont face(const QStringList& families, qreal pointSize);

    QStringList m_dialog;
    QStringList m_product;
};

// Gives a window the product's look: the dialog font as its default, the product's
// face at the size named by each widget's "yaheiPointSize" property, and push buttons
// with the narrow text margins their fixed sizes were drawn for. A window that sets
// the dialog font before building its children spares them a layout in the default
// font.
void ApplyWindowLook(QWidget* window, const WindowFaces& faces);
void ApplyWindowLook(QWidget* window);

class QLabel;

// Sizes a label to its text, keeping its position and height: 14 pixels per wide
// character and 7 per ASCII character, or more when the font draws the text wider.
void FitLabelToText(QLabel& label);
