/* The class of the interfaces' own proxy/stub DLL (OmbrevaleHostPS.dll), for the DLL's C
 * code and for the registration that names it: {D5E369E7-7C15-4624-A6AF-B26598527CF8}. */
#pragma once

#define OMB_PROXY_STUB_CLASS                                                           \
    {                                                                                  \
        0xD5E369E7, 0x7C15, 0x4624, { 0xA6, 0xAF, 0xB2, 0x65, 0x98, 0x52, 0x7C, 0xF8 } \
    }
