// The machine's own certificate and key for the endpoint, made once at
// installation.
#pragma once

#include <string>

namespace qvx::host {

// The common name of each machine's local root, which the browsers' trust
// stores list.
constexpr const char* kLocalRootName = "Quorvex2 Connector local root";

// Writes a certificate for 127.0.0.1 and localhost, the machine's own local
// root that issued it (limited by name constraints to those two names; its
// key is discarded) and the certificate's private key, encrypted under
// passPhrase, to path, unless path already exists. The file is left readable by its owner only
// (mode 0600), also one that was there. False (with the thread's last error set) when it cannot be
// made.
bool EnsureMachineKey(const std::string& path, const std::string& passPhrase);

// The machine's local root from the text of such a file: its last
// certificate block, with its BEGIN and END lines; empty when it has none.
std::string LocalRootPem(const std::string& pemText);

}  // namespace qvx::host
