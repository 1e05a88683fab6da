# quorbix_install_bin_link(NAME)
# Installs <prefix>/bin/NAME as a relative link to the program NAME in the private program
# folder: each program finds its reader and catalog from its real path, not the link's.
function(quorbix_install_bin_link name)
  file(RELATIVE_PATH target /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${QUORBIX_INSTALL_LIBDIR}/${name})
  install(CODE "
    set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bindir}\")
    message(STATUS \"Installing: \${bindir}/${name} -> ${target}\")
    file(CREATE_LINK \"${target}\" \"\${bindir}/${name}\" SYMBOLIC)
  ")
endfunction()
