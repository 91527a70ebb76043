# The one version of every program and package is the project version (a
# major number, a dot and two digits, as the browser's info box shows it).
# The version resources and manifests of VBrowser.exe and vtx.exe, --version of vtx and
# vantorix-sim, the package names and Readme.txt all take it from here.
if(NOT PROJECT_VERSION MATCHES "^([0-9]+)\\.([0-9])([0-9])$")
  message(FATAL_ERROR "the project version must look like 1.03, not ${PROJECT_VERSION}")
endif()
# 1.03 is 1.0.3.0 where Windows wants four numbers.
set(VBROWSER_VERSION_QUAD "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")
set(VBROWSER_VERSION_DOTTED "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.0")
set(VBROWSER_MAKER "VBrowser developers")
set(VBROWSER_MAKER_MAIL "dev@vbrowser.invalid")
set(VBROWSER_COPYRIGHT "Copyright (C) 2026 ${VBROWSER_MAKER}")

# The manifest names the processor the program is built for; Windows may
# refuse to start a program whose manifest names another one.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VBROWSER_MANIFEST_ARCH amd64)
else()
  set(VBROWSER_MANIFEST_ARCH x86)
endif()

set(VBROWSER_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/vbrowser_version.h.in ${VBROWSER_GENERATED_DIR}/vbrowser_version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/res/vbrowser.manifest.in ${VBROWSER_GENERATED_DIR}/vbrowser.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/res/vtx.manifest.in ${VBROWSER_GENERATED_DIR}/vtx.manifest @ONLY)
include_directories(${VBROWSER_GENERATED_DIR})
