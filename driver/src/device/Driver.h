// Driver-wide start: what happens once when the module is loaded.
#pragma once

#include <string>

namespace qvx::driver {

constexpr char kDriverFileVersion[] = "1.0.2.4";

// "Meridel driver 1.0.2.4 <build date> <build time> loaded".
std::string BannerText();

// Clears the unit map and prints the banner; only the first call does
// anything.
void DriverEntry();

}  // namespace qvx::driver
