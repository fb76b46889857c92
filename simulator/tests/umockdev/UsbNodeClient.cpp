// A client of the emulated device's node for UsbClientsTest, run under
// umockdev's preload: opens NODE, claims interface 0 and prints "claim 0"
// or "claim ERRNO"; with "hold", keeps the node open until its standard
// input closes.
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: usb-node-client NODE [hold]\n");
    return 64;
  }
  const int fd = ::open(argv[1], O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::printf("open %d\n", errno);
    return 1;
  }
  unsigned interface = 0;
  const int error = ::ioctl(fd, USBDEVFS_CLAIMINTERFACE, &interface) == 0 ? 0 : errno;
  std::printf("claim %d\n", error);
  std::fflush(stdout);
  if (argc > 2 && std::strcmp(argv[2], "hold") == 0) {
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
  }
  ::close(fd);
  return error == 0 ? 0 : 1;
}
