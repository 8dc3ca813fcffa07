# tv_add_module(<name> SOURCES ...)
# Builds an in-process COM module (a shared library exporting DllGetClassObject,
# DllCanUnloadNow, DllRegisterServer, DllUnregisterServer) and registers it into
# the build tree's registry after every link, so that CoCreateInstance finds it.
function(tv_add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "lib")
  target_link_libraries(${name} PRIVATE tvcomdll tvplatform ${ARG_LIBS})
  target_link_options(${name} PRIVATE -Wl,--no-undefined)
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env "TARVO_REGISTRY=${TARVO_BUILD_REGISTRY}"
            $<TARGET_FILE:tvregsvr> /s $<TARGET_FILE:${name}>
    COMMENT "Registering ${name}")
  add_dependencies(${name} tvregsvr)
endfunction()
