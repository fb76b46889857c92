// The process's class factory: its objects reach the device through the
// plug-in's reader access.
#include <memory>
#include <mutex>

#include "brixon/BrixonModule.h"
#include "brixon/PCSC.h"

namespace qvx::brixon {
namespace {

std::mutex gFactoryMutex;
platform::IClassFactory* gFactory = nullptr;  // the module's own reference

}  // namespace

platform::IClassFactory* ProcessClassFactory() {
  const std::lock_guard<std::mutex> lock(gFactoryMutex);
  if (gFactory == nullptr) {
    gFactory = CreateClassFactory(
        []() -> std::unique_ptr<IReaderAccess> { return std::make_unique<CPCSC>(); });
  }
  return gFactory;
}

void InitializeModule() { ProcessClassFactory(); }

void TerminateModule() {
  const std::lock_guard<std::mutex> lock(gFactoryMutex);
  if (gFactory != nullptr) gFactory->Release();
  gFactory = nullptr;
}

}  // namespace qvx::brixon
