// brixwssvr: the connector service program. With one option it prints its
// version, installs or removes itself; otherwise it runs as the service.
#include <cstdio>
#include <iostream>
#include <string>

#include "host/EndpointSettings.h"
#include "host/Installation.h"
#include "host/ServiceBrixon.h"
#include "host/ServiceOptions.h"

namespace {

int Install(bool (*operation)(char*)) {
  char message[qvx::host::kMessageSize] = {};
  if (operation(message)) return 0;
  std::cerr << qvx::host::FailureLine(message) << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using qvx::host::ServiceAction;
  switch (qvx::host::ParseServiceOptions(argc, argv)) {
    case ServiceAction::PrintVersion:
      std::cout << qvx::host::VersionText() << std::endl;
      return 0;
    case ServiceAction::Install:
      return Install(&qvx::host::SetUpService);
    case ServiceAction::Uninstall:
      return Install(&qvx::host::RemoveService);
    case ServiceAction::MakeKey:
      return Install(&qvx::host::MakeInstalledKey);
    case ServiceAction::RemoveKey:
      return Install(&qvx::host::RemoveInstalledKey);
    case ServiceAction::RunService:
      break;
  }

  std::string warning;
  qvx::host::CServiceBrixon service(qvx::host::SettingsFromEnvironment(warning));
  if (!warning.empty()) std::cerr << "brixwssvr: " << warning << std::endl;
  if (!service.Dispatch()) {
    std::cerr << qvx::host::UsageLine(argc > 0 && argv[0] != nullptr ? argv[0] : "brixwssvr")
              << std::endl;
    return -1;
  }
  return 0;
}
