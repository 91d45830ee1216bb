# Runs at install time: installs TEMPLATE, with @NAME@ replaced by VALUE, into DESTINATION
# (relative to the install prefix, or absolute). Used for files that name an installed
# path, which only the install knows. Each install prefix gets its own copy, so installs
# under different prefixes at once (the tests, the package build) never mix their files.
function(zarovel_install_configured template destination name value)
  set(${name} "${value}")
  string(MD5 key "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  get_filename_component(file "${template}" NAME)
  string(REGEX REPLACE "\\.in$" "" file "${file}")
  set(staged "${ZAROVEL_STAGING}/${key}/${file}")
  configure_file("${template}" "${staged}" @ONLY)
  if(NOT IS_ABSOLUTE "${destination}")
    set(destination "${CMAKE_INSTALL_PREFIX}/${destination}")
  endif()
  file(INSTALL DESTINATION "${destination}" TYPE FILE FILES "${staged}")
endfunction()
