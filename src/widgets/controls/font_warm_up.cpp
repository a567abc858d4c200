#include "widgets/controls/font_warm_up.h"

#include <fontconfig/fontconfig.h>

FontWarmUp::FontWarmUp()
    // Qt's font database initialises the same library later; fontconfig makes that a
    // no-op once its configuration is loaded, whichever thread loaded it.
    : m_thread([] { FcInit(); })
{
}

FontWarmUp::~FontWarmUp()
{
    wait();
}

void FontWarmUp::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
