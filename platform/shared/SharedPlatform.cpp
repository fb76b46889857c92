// qvx_platform_shared has no code of its own: it carries the platform
// archives whole (see platform/CMakeLists.txt).
