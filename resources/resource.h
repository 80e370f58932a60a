/* Ombrevale's resource identifiers and version, shared by the resource script and C++.
   windres reads only macros, so everything here is a #define. */
#ifndef OMBREVALE_RESOURCES_RESOURCE_H
#define OMBREVALE_RESOURCES_RESOURCE_H

/* The icon group is named, not numbered: the program asks for it as "A_MAIN" (C++ takes
   the name from here too: support/application.h). */
#define OMB_ICON_GROUP_NAME "A_MAIN"

/* The application manifest (CREATEPROCESS_MANIFEST_RESOURCE_ID). */
#define OMB_MANIFEST_ID 1

/* The version: numbers for FILEVERSION/PRODUCTVERSION, text for the strings, generated
   from the project's version. */
#include "resources/version.h"

/* The version record's strings are Russian (0x0419) in Unicode (code page 1200); the
   block name and the Translation value must name the same pair. */
#define OMB_VERSION_LANGUAGE 0x0419
#define OMB_VERSION_CODEPAGE 1200
#define OMB_VERSION_BLOCK "041904B0"

#define OMB_COMPANY_NAME "Quorvex"
#define OMB_PRODUCT_NAME "Quorvex"
#define OMB_INTERNAL_NAME "Ombrevale"
#define OMB_ORIGINAL_FILENAME "Ombrevale.EXE"
#define OMB_FILE_DESCRIPTION "Quorvex - Ombrevale " OMB_VERSION_SHORT
#define OMB_COMMENTS "Quorvex - Ombrevale " OMB_VERSION_SHORT
#define OMB_LEGAL_COPYRIGHT "© Quorvex, 2026. Все права защищены."

#endif
