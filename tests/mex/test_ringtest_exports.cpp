// Loads the built ringtest plug-in and checks what it exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

TEST(RingtestPlugin, ExportsEntryAndVersionOnly) {
  void* lib = dlopen(CCS_RINGTEST_MEX, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  EXPECT_NE(dlsym(lib, "mexFunction"), nullptr);
  using VersionFn = void (*)(unsigned int*, unsigned int*);
  auto version = reinterpret_cast<VersionFn>(dlsym(lib, "mexfilerequiredapiversion"));
  ASSERT_NE(version, nullptr);
  unsigned int built_by = 0, target_api = 0;
  version(&built_by, &target_api);
  EXPECT_EQ(built_by, 0x2018Bu);
  EXPECT_EQ(target_api, 0x7300000u);
  // The core stays private to the plug-in.
  EXPECT_EQ(dlsym(lib, "_ZN3ccs7polygon7qsindexEPdPiii"), nullptr);
  EXPECT_EQ(dlsym(lib, "_ZN3ccs7polygon16point_in_polygonERKNS0_8PointSetERKNS0_7PolygonEPhS7_"), nullptr);
  dlclose(lib);
}

}  // namespace
