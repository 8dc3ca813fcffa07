# Run by `cmake --install` (see TarvoInstall.cmake) with TV_BINDIR, TV_MODULEDIR,
# TV_REGISTRY (below the prefix) and TV_MODULES (the module file names) set.
# Registers each installed module with the installed tvregsvr into the
# installed registry. Keys already there (other modules, settings written by
# hand) stay, as with regsvr32; a module that fails to register fails the
# installation.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(registry "${root}/${TV_REGISTRY}")
get_filename_component(registry_dir "${registry}" DIRECTORY)
file(MAKE_DIRECTORY "${registry_dir}")
foreach(module IN LISTS TV_MODULES)
  message(STATUS "Registering: ${root}/${TV_MODULEDIR}/${module}")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "TARVO_REGISTRY=${registry}"
            "${root}/${TV_BINDIR}/tvregsvr" /s "${root}/${TV_MODULEDIR}/${module}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "tvregsvr could not register ${module} (status ${status})")
  endif()
endforeach()

# The lock file serialises writers while they run; none is left behind.
file(REMOVE "${registry}.lock")

# A staged installation (DESTDIR) registered the staged paths: the registry
# must name the files where they will finally be.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  file(REAL_PATH "${root}" real_root)
  file(READ "${registry}" text)
  string(REPLACE "\"${real_root}/" "\"${CMAKE_INSTALL_PREFIX}/" text "${text}")
  file(WRITE "${registry}" "${text}")
endif()
