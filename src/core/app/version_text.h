#pragma once

#include <QString>

// "V" + major.minor.revision, as the status bar shows the program's version.
QString VersionText(int major, int minor, int revision);
QString VersionText();
