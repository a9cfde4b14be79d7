# The library as others use it: the public headers under include/geofluid, one target
# geofluid::geofluid for the layers, install rules and the package config that
# find_package(geofluid) reads.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The version the headers and `geofluid-cli --version` report is the project's.
configure_file(${CMAKE_SOURCE_DIR}/include/geofluid/version.h.in
               ${CMAKE_BINARY_DIR}/include/geofluid/version.h @ONLY)

# The public headers re-export the layers' own headers, which are installed beneath them in
# include/geofluid/detail and keep their paths there ("engine/engine.h").
set(GEOFLUID_DETAIL_DIRS engine speciation thermo platform units batch geothermometry interp
    uncertainty io)
set(GEOFLUID_INSTALLED_LIBRARIES geofluid_core geofluid_units geofluid_batch
    geofluid_geothermometry geofluid_interp geofluid_uncertainty geofluid_io)
set(GEOFLUID_DETAIL_INCLUDE ${CMAKE_INSTALL_INCLUDEDIR}/geofluid/detail)

# (`geofluid` is the window's program; installed, this target is geofluid::geofluid.)
add_library(geofluid_library INTERFACE)
add_library(geofluid::geofluid ALIAS geofluid_library)
set_target_properties(geofluid_library PROPERTIES EXPORT_NAME geofluid)
target_include_directories(geofluid_library INTERFACE
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include> $<BUILD_INTERFACE:${CMAKE_BINARY_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(geofluid_library INTERFACE ${GEOFLUID_INSTALLED_LIBRARIES})
target_compile_features(geofluid_library INTERFACE cxx_std_20)

foreach(library ${GEOFLUID_INSTALLED_LIBRARIES})
  # The layers name src/ as their include directory; installed, that is the detail directory.
  get_target_property(dirs ${library} INTERFACE_INCLUDE_DIRECTORIES)
  list(TRANSFORM dirs REPLACE "^${CMAKE_SOURCE_DIR}/src$"
       "$<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/src>;$<INSTALL_INTERFACE:${GEOFLUID_DETAIL_INCLUDE}>")
  set_target_properties(${library} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${dirs}")
  string(REPLACE "geofluid_" "" short ${library})
  set_target_properties(${library} PROPERTIES EXPORT_NAME ${short})
endforeach()

install(TARGETS geofluid_library ${GEOFLUID_INSTALLED_LIBRARIES} EXPORT geofluidTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/geofluid DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development FILES_MATCHING PATTERN "*.h")
install(FILES ${CMAKE_BINARY_DIR}/include/geofluid/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/geofluid COMPONENT development)
foreach(dir ${GEOFLUID_DETAIL_DIRS})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/src/${dir} DESTINATION ${GEOFLUID_DETAIL_INCLUDE}
          COMPONENT development FILES_MATCHING PATTERN "*.h")
endforeach()

set(GEOFLUID_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/geofluid)
install(EXPORT geofluidTargets NAMESPACE geofluid:: DESTINATION ${GEOFLUID_CONFIG_DIR}
        COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/geofluidConfig.cmake.in
  ${CMAKE_BINARY_DIR}/cmake/geofluidConfig.cmake INSTALL_DESTINATION ${GEOFLUID_CONFIG_DIR})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/geofluidConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/geofluidConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/geofluidConfigVersion.cmake
        DESTINATION ${GEOFLUID_CONFIG_DIR} COMPONENT development)
