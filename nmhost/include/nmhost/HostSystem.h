// What brixonnm needs of the system it runs on: the browser's pipe on
// standard input and output, and where the customer's own log goes. One
// source per system (src/linux, src/windows), chosen by the build.
#pragma once

#include <cstddef>
#include <string>

namespace qvx::nmhost {

// Whether standard input is a console (someone started the program by hand,
// not a browser).
bool InputIsConsole();

// Readies the process for the pipe: a write to a pipe the browser closed
// fails instead of ending the process, so a waiting request can still be
// cancelled on the device.
void PreparePipe();

// Reads up to `size` bytes of standard input; 0 at its end. An unreadable
// pipe ends the session like a closed one.
std::size_t ReadInput(char* buffer, std::size_t size);

// Writes all of `bytes` to standard output. A browser that has gone takes
// nothing more; that is not an error to report anywhere but the log.
void WriteOutput(const std::string& bytes);

// The browser starts the host as the customer, who cannot write to the
// machine's log (the service's). Unless something already places the log,
// the library's log folder (ALLUSERSPROFILE) is moved to the customer's
// own state folder, made private to them.
void PlaceCustomerLog();

}  // namespace qvx::nmhost
