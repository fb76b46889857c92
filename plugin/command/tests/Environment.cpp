#include "PluginTestSupport.h"

// Every test process gets its private directories before the log is used.
static ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new qvx::testing::PluginEnvironment);
