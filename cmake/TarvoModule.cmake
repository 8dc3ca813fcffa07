# tv_add_module(<name> SOURCES ... [LIBS ...])
# Builds an in-process COM module (a shared library exporting DllGetClassObject,
# DllCanUnloadNow, DllRegisterServer, DllUnregisterServer and DllMain) and
# registers it into the build tree's registry after every link, so that
# CoCreateInstance finds it. The module defines g_Templates and g_cTemplates
# (see com/factory.h).
function(tv_add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "lib")
  # Whole archive: nothing in the module refers to the entry points, which
  # would otherwise be left out of the link.
  target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,tvcomdll>" tvplatform ${ARG_LIBS})
  target_link_options(${name} PRIVATE -Wl,--no-undefined)
  # Registration locks the registry file and replaces it whole, so modules
  # linked in parallel do not lose each other's keys.
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env "TARVO_REGISTRY=${TARVO_BUILD_REGISTRY}"
            $<TARGET_FILE:tvregsvr> /s $<TARGET_FILE:${name}>
    COMMENT "Registering ${name}")
  add_dependencies(${name} tvregsvr)
  # Installed into lib/tarvo and registered there by cmake/TarvoInstall.cmake.
  set_property(GLOBAL APPEND PROPERTY TARVO_MODULES ${name})
endfunction()
