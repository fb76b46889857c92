// WinSCard, the system's PC/SC.
#pragma once

#include "platform/os/Windows.h"

#include <winscard.h>
