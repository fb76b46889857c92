// qvxwss: sends requests to the connector service over secure WebSocket and
// prints the replies, as a bank's page would talk to it.
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "client/WssClient.h"

namespace {

using qvx::client::ClientError;
using qvx::client::ClientOptions;

constexpr int kExitRefused = 1;
constexpr int kExitClosed = 2;
constexpr int kExitNoReply = 3;
constexpr int kExitUsage = 64;

const char* const kUsage =
    "usage: qvxwss [--port P | --ports P1,P2,...] [--origin O] [--ca PEM] [--timeout S] "
    "[JSON ...]\n"
    "Connects to the first port that works (default 9041..9045), sends each JSON argument\n"
    "(or each line of standard input when there is none) as a text message and prints the\n"
    "replies. --origin \"\" sends no Origin header. Exit: 0 done, 1 connection refused,\n"
    "2 closed by the server, 3 no reply in time, 64 usage.\n";

struct Arguments {
  std::vector<std::uint16_t> ports{9041, 9042, 9043, 9044, 9045};
  ClientOptions options;
  std::vector<std::string> requests;
};

bool ParsePort(const std::string& text, std::uint16_t& port) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 5)
    return false;
  const unsigned long value = std::stoul(text);
  if (value == 0 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

bool ParsePorts(const std::string& text, std::vector<std::uint16_t>& ports) {
  ports.clear();
  std::istringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    std::uint16_t port = 0;
    if (!ParsePort(item, port)) return false;
    ports.push_back(port);
  }
  return !ports.empty();
}

bool ParseSeconds(const std::string& text, std::chrono::milliseconds& timeout) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > 86400) return false;
  timeout = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  return true;
}

// False on a usage error.
bool Parse(int argc, char** argv, Arguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    const bool hasValue = i + 1 < argc;
    if (word == "--port" && hasValue) {
      arguments.ports.assign(1, 0);
      if (!ParsePort(argv[++i], arguments.ports[0])) return false;
    } else if (word == "--ports" && hasValue) {
      if (!ParsePorts(argv[++i], arguments.ports)) return false;
    } else if (word == "--origin" && hasValue) {
      arguments.options.origin = argv[++i];
    } else if (word == "--ca" && hasValue) {
      arguments.options.caFile = argv[++i];
    } else if (word == "--timeout" && hasValue) {
      if (!ParseSeconds(argv[++i], arguments.options.timeout)) return false;
    } else if (word.rfind("--", 0) == 0) {
      return false;
    } else {
      arguments.requests.push_back(word);
    }
  }
  return true;
}

void PrintReply(const std::string& reply) {
  std::istringstream lines(reply);
  std::string line;
  bool any = false;
  while (std::getline(lines, line)) {
    std::cout << "< " << line << "\n";
    any = true;
  }
  if (!any) std::cout << "<\n";  // the empty reply of a cancel
  std::cout.flush();
}

// Sends one request and prints its reply; the exit code when it must end.
int Exchange(qvx::client::CWssClient& client, const std::string& request,
             std::chrono::milliseconds timeout) {
  std::cout << "> " << request << std::endl;
  client.SendText(request);
  if (const auto reply = client.Receive(timeout)) {
    PrintReply(*reply);
    return 0;
  }
  if (const auto closed = client.Closed()) {
    std::cout << "closed: " << closed->code << " " << closed->reason << std::endl;
    return kExitClosed;
  }
  std::cerr << "qvxwss: no reply within the time-out" << std::endl;
  return kExitNoReply;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (!Parse(argc, argv, arguments)) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  try {
    auto client = qvx::client::ConnectFirst(arguments.ports, arguments.options);
    const auto timeout = arguments.options.timeout;
    if (!arguments.requests.empty()) {
      for (const std::string& request : arguments.requests) {
        if (const int code = Exchange(*client, request, timeout)) return code;
      }
    } else {
      for (std::string line; std::getline(std::cin, line);) {
        if (line.empty()) continue;
        if (const int code = Exchange(*client, line, timeout)) return code;
      }
    }
    client->Close();
    return 0;
  } catch (const ClientError& error) {
    // The message names the HTTP status of a refused upgrade.
    std::cerr << "qvxwss: " << error.what() << std::endl;
    return kExitRefused;
  } catch (const std::exception& error) {
    // A send on a connection the server has just closed.
    std::cerr << "qvxwss: " << error.what() << std::endl;
    return kExitClosed;
  }
}
