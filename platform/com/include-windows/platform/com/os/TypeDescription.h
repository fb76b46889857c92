// Nothing to add on Windows: the type library is the compiled one, loaded
// by the system (LoadTypeLib), and DispInvoke is oleaut32's.
#pragma once
