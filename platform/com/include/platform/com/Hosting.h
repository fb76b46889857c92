// The interfaces between a scriptable object and the browser that hosts it:
// the object's site, object safety, services of the host, the page's
// browser and document, and the security manager's zones. The system's, or
// the Linux layer's (platform/com/os), which carries only the members the
// plug-in calls.
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/Unknown.h"
#include "platform/com/os/Hosting.h"
