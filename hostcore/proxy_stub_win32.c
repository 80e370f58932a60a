/* OmbrevaleHostPS.dll: the proxy/stub code of the servers' interfaces, which widl compiles
 * from hosts.idl. COM loads it into every client and server process to carry calls
 * between them. The system's type library marshaller carries the same calls (the wire
 * format is the same), but it builds a proxy and a stub from the type library for every
 * object a client receives: under Wine that doubled the cost of reaching each machine. */
#define PROXY_DELEGATION /* the interfaces derive from IDispatch, whose proxy is the system's */
#include "hostcore/proxy_stub_class.h"
#define PROXY_CLSID_IS OMB_PROXY_STUB_CLASS

#include <objbase.h>

/* mingw-w64 declares these rpcrt4 functions for C++ only; widl's proxies name them. */
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** object);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);

#include "hosts_p.c"
#include "hosts_i.c"
#include "dlldata.c"
