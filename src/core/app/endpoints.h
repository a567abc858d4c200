#pragma once

#include <QString>

// Where the program's services and web pages live. Compiled in; tests hand the
// main window their own loopback addresses instead.
struct Endpoints {
    QString lookupUrl;  // lookup service: scheme, host and optional port
    QString updateUrl;  // update service
    QString makerUrl;   // maker's site with the works-detail pages
    QString studioUrl;  // studio home page
    QString companyUrl; // company home page

    static Endpoints compiledDefaults();
};
