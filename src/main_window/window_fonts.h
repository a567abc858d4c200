#pragma once

class QWidget;

// Gives every widget under the root that carries the "yaheiPointSize" property the
// product's face at that size, with fall-backs for systems that lack the face.
void ApplyYaHeiFonts(QWidget* root);
