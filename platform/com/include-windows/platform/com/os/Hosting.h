// The hosting interfaces are the system's: the site and object safety
// (ocidl.h, objsafe.h), services (servprov.h, shlguid.h), the browser and
// its document (exdisp.h, mshtml.h) and the security manager (urlmon.h).
#pragma once

#include <exdisp.h>
#include <mshtml.h>
#include <objsafe.h>
#include <ocidl.h>
#include <servprov.h>
#include <shlguid.h>
#include <urlmon.h>

#include "platform/com/os/Bstr.h"
#include "platform/com/os/Unknown.h"

namespace platform {

using ::IHTMLDocument2;
using ::IInternetSecurityManager;
using ::IObjectSafety;
using ::IObjectWithSite;
using ::IOleClientSite;
using ::IOleContainer;
using ::IServiceProvider;
using ::IWebBrowser2;

}  // namespace platform
