# Imported targets for the packages that scripts/bootstrap.sh unpacks into
# .deps/root (the VST 3 SDK and RNNoise, neither of which bookworm ships).

set(ORV_DEPS_ROOT "${PROJECT_SOURCE_DIR}/.deps/root" CACHE PATH
    "Folder holding the unpacked libvst3sdk-dev and librnnoise-dev packages")

set(_orv_lib "${ORV_DEPS_ROOT}/usr/lib/x86_64-linux-gnu")
set(_orv_inc "${ORV_DEPS_ROOT}/usr/include")
foreach(_f "${_orv_inc}/rnnoise.h" "${_orv_lib}/librnnoise.a"
           "${_orv_inc}/vst3sdk/pluginterfaces" "${_orv_lib}/vst3sdk/libsdk.a")
  if(NOT EXISTS "${_f}")
    message(FATAL_ERROR "Missing ${_f}: run scripts/bootstrap.sh first")
  endif()
endforeach()

# RNNoise 0.2, static, with its built-in model. Only the static archive is
# used, so the module never depends on a shared librnnoise at run time. This is
# the archive as packaged; targets link Orvane::rnnoise, which puts our network
# kernels in front of it (cmake/RnnoiseKernels.cmake).
set(ORV_RNNOISE_ARCHIVE "${_orv_lib}/librnnoise.a")
add_library(orv_rnnoise_archive STATIC IMPORTED GLOBAL)
set_target_properties(orv_rnnoise_archive PROPERTIES
  IMPORTED_LOCATION "${ORV_RNNOISE_ARCHIVE}"
  INTERFACE_LINK_LIBRARIES m)
target_include_directories(orv_rnnoise_archive SYSTEM INTERFACE "${_orv_inc}")

# The SDK's headers need one of RELEASE/DEVELOPMENT/NDEBUG/_DEBUG; the archives
# were built as release, so the headers are read the same way everywhere.
set(_orv_vst_inc "${_orv_inc}/vst3sdk")
foreach(_a sdk sdk_common base pluginterfaces sdk_hosting)
  add_library(orv_vst_${_a} STATIC IMPORTED GLOBAL)
  set_target_properties(orv_vst_${_a} PROPERTIES
    IMPORTED_LOCATION "${_orv_lib}/vst3sdk/lib${_a}.a")
endforeach()

add_library(orv_vst3sdk INTERFACE)
target_include_directories(orv_vst3sdk SYSTEM INTERFACE "${_orv_vst_inc}")
target_compile_definitions(orv_vst3sdk INTERFACE RELEASE=1)
# The archives reference one another in both directions: link them as one
# group. The host-side helpers (parameter changes, process data, messages) are
# in the group too; the linker takes only the objects a target uses, so the
# module carries none of them.
target_link_libraries(orv_vst3sdk INTERFACE
  "-Wl,--start-group"
  "${_orv_lib}/vst3sdk/libsdk.a" "${_orv_lib}/vst3sdk/libsdk_common.a"
  "${_orv_lib}/vst3sdk/libbase.a" "${_orv_lib}/vst3sdk/libpluginterfaces.a"
  "${_orv_lib}/vst3sdk/libsdk_hosting.a"
  "-Wl,--end-group"
  Threads::Threads ${CMAKE_DL_LIBS})
# Every target that links the archives gets the glibc forwarder they need.
target_sources(orv_vst3sdk INTERFACE $<TARGET_OBJECTS:orv_glibc_compat>)
add_library(Orvane::vst3sdk ALIAS orv_vst3sdk)
add_library(Orvane::vst3hosting ALIAS orv_vst3sdk)
