// The input table of the generated plug-in an executable of the test host
// is built with (see ccs_host_plugin in tests/host/CMakeLists.txt).
#pragma once

#include "mex/entry_layer.h"

const mexentry::Plugin& plugin_under_test();
