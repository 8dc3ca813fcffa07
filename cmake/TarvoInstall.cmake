# What `cmake --install` puts where (GNU layout under the prefix):
#   lib/libTarvoPlayLib.so*              the player library
#   include/tarvo/                       its headers (TarvoPlayLib.h, TarvoPlayErrors.h,
#                                        and win32/types.h, which C++ callers get)
#   lib/pkgconfig/tarvoplay.pc           pkg-config: cflags and libs of the player library
#   lib/cmake/TarvoPlay/                 find_package(TarvoPlay): TarvoPlay::TarvoPlayLib
#   lib/tarvo/                           the filter modules and the private libraries
#                                        they share with the player library
#   bin/                                 the tools
#   share/tarvo/registry.reg             the installed modules' registrations
# Every installed file finds the others relative to itself ($ORIGIN run paths, a
# pkg-config file relative to its folder, a relocatable CMake package), so a
# tree installed with --prefix or DESTDIR works where it lands.
include(CMakePackageConfigHelpers)

foreach(dir LIBDIR BINDIR INCLUDEDIR DATADIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    message(FATAL_ERROR "CMAKE_INSTALL_${dir} must be relative to the prefix")
  endif()
endforeach()

# "$ORIGIN/<path from folder 'from' to folder 'to'>", both below the prefix.
function(tv_origin_path out from to)
  file(RELATIVE_PATH rel "/prefix/${from}" "/prefix/${to}")
  if(rel STREQUAL "")
    set(${out} "$ORIGIN" PARENT_SCOPE)
  else()
    set(${out} "$ORIGIN/${rel}" PARENT_SCOPE)
  endif()
endfunction()

tv_origin_path(rpath_from_lib "${CMAKE_INSTALL_LIBDIR}" "${TARVO_INSTALL_MODULEDIR}")
tv_origin_path(rpath_bin_to_lib "${CMAKE_INSTALL_BINDIR}" "${CMAKE_INSTALL_LIBDIR}")
tv_origin_path(rpath_bin_to_modules "${CMAKE_INSTALL_BINDIR}" "${TARVO_INSTALL_MODULEDIR}")

# The private shared libraries live beside the modules that need them: the
# platform's, and the simulated device SDKs the player control's players call.
set(tv_private_libs tvplatform tvdshow tvgdi)
foreach(lib h3csim HCNetSDK playm4)
  if(TARGET ${lib})
    list(APPEND tv_private_libs ${lib})
  endif()
endforeach()
set_target_properties(${tv_private_libs} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${tv_private_libs} LIBRARY DESTINATION "${TARVO_INSTALL_MODULEDIR}")

# Every module but the tests' own.
get_property(tv_all_modules GLOBAL PROPERTY TARVO_MODULES)
set(tv_modules "")
foreach(module IN LISTS tv_all_modules)
  get_target_property(dir ${module} SOURCE_DIR)
  if(NOT dir MATCHES "^${CMAKE_SOURCE_DIR}/tests(/|$)")
    list(APPEND tv_modules ${module})
  endif()
endforeach()
set_target_properties(${tv_modules} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${tv_modules} LIBRARY DESTINATION "${TARVO_INSTALL_MODULEDIR}")

set_target_properties(TarvoPlayLib PROPERTIES INSTALL_RPATH "${rpath_from_lib}")
install(TARGETS TarvoPlayLib EXPORT TarvoPlayTargets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/tarvo")
install(FILES
  "${CMAKE_SOURCE_DIR}/player/include/TarvoPlayLib.h"
  "${CMAKE_SOURCE_DIR}/player/include/TarvoPlayErrors.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/tarvo")
install(FILES "${CMAKE_SOURCE_DIR}/platform/win32/include/win32/types.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/tarvo/win32")

set(tv_tools tvregsvr tvplay tvdevsim tvdevice vxctl)
if(TARGET vxconsole)
  list(APPEND tv_tools vxconsole)
endif()
set_target_properties(${tv_tools} PROPERTIES
  INSTALL_RPATH "${rpath_bin_to_lib};${rpath_bin_to_modules}")
install(TARGETS ${tv_tools} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# pkg-config: the prefix is found from the .pc file's own folder.
file(RELATIVE_PATH tv_pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" tv_pc_to_prefix "${tv_pc_to_prefix}")
configure_file("${CMAKE_SOURCE_DIR}/cmake/tarvoplay.pc.in" "${CMAKE_BINARY_DIR}/tarvoplay.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/tarvoplay.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

set(tv_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/TarvoPlay")
install(EXPORT TarvoPlayTargets NAMESPACE TarvoPlay:: DESTINATION "${tv_cmake_dir}")
configure_package_config_file("${CMAKE_SOURCE_DIR}/cmake/TarvoPlayConfig.cmake.in"
  "${CMAKE_BINARY_DIR}/TarvoPlayConfig.cmake" INSTALL_DESTINATION "${tv_cmake_dir}")
write_basic_package_version_file("${CMAKE_BINARY_DIR}/TarvoPlayConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/TarvoPlayConfig.cmake"
  "${CMAKE_BINARY_DIR}/TarvoPlayConfigVersion.cmake" DESTINATION "${tv_cmake_dir}")

# Last: the installed tvregsvr registers the installed modules into the
# installed registry, which the installed library reads by default.
set(tv_module_files "")
foreach(module IN LISTS tv_modules)
  list(APPEND tv_module_files "$<TARGET_FILE_NAME:${module}>")
endforeach()
install(CODE "
  set(TV_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(TV_MODULEDIR \"${TARVO_INSTALL_MODULEDIR}\")
  set(TV_REGISTRY \"${TARVO_INSTALL_REGISTRY}\")
  set(TV_MODULES \"${tv_module_files}\")
  include(\"${CMAKE_SOURCE_DIR}/cmake/TarvoRegisterInstalled.cmake\")")
