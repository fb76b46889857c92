// The process's class factory: its objects reach the device through the
// plug-in's reader access.
#include <memory>

#include "brixon/BrixonModule.h"
#include "brixon/PCSC.h"

namespace qvx::brixon {

platform::IClassFactory* ProcessClassFactory() {
  // Kept for the life of the process, like the module itself.
  static platform::IClassFactory* const factory = CreateClassFactory(
      []() -> std::unique_ptr<IReaderAccess> { return std::make_unique<CPCSC>(); });
  return factory;
}

}  // namespace qvx::brixon
