#pragma once

class QWidget;

// Gives a window the product's look: the dialog font (9 pt) as its default, the
// product's face at the size named by each widget's "yaheiPointSize" property, and
// push buttons with the narrow text margins their fixed sizes were drawn for. Each
// face falls back to CJK faces found on Linux.
void ApplyWindowLook(QWidget* window);

class QLabel;

// Sizes a label to its text, keeping its position and height: 14 pixels per wide
// character and 7 per ASCII character, or more when the font draws the text wider.
void FitLabelToText(QLabel& label);
