# Runs at install time: writes the files that name installed paths, and the bin/ link.
# Expects VELMORA_LAUNCHER_SOURCE_DIR, VELMORA_LAUNCHER_DIR, VELMORA_APP_DIR, VELMORA_BINDIR, VELMORA_DATADIR.

set(staged "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# The launcher hands pkexec the canonical path, so the policy must name that very path. A staged
# install (DESTDIR) cannot be resolved here and keeps the prefix as given.
set(velmora_exec "${CMAKE_INSTALL_PREFIX}/${VELMORA_APP_DIR}/Velmora")
set(launcher_exec "${CMAKE_INSTALL_PREFIX}/${VELMORA_LAUNCHER_DIR}/VelmoraLauncher")
if("$ENV{DESTDIR}" STREQUAL "")
  file(REAL_PATH "${velmora_exec}" velmora_exec)
  file(REAL_PATH "${launcher_exec}" launcher_exec)
endif()

# Written as CDATA: polkit's policy reader keeps only the last piece of a text that a reference
# (&amp;) splits, so an escaped '&' would cut the path short and pkexec would never match it.
if(velmora_exec MATCHES "]]>")
  message(FATAL_ERROR "A polkit policy cannot name ${velmora_exec}: choose a prefix without ]]>")
endif()
set(VELMORA_EXEC_PATH_XML "<![CDATA[${velmora_exec}]]>")
configure_file("${VELMORA_LAUNCHER_SOURCE_DIR}/org.velmora.launcher.policy.in"
               "${staged}/${VELMORA_DATADIR}/polkit-1/actions/org.velmora.launcher.policy" @ONLY)

# Desktop entry Exec: quote the path and escape what the quoting rules reserve, then escape the
# backslashes once more for the string value itself; '%' introduces field codes.
set(quoted "${launcher_exec}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
foreach(reserved "\"" "`" "$")
  string(REPLACE "${reserved}" "\\${reserved}" quoted "${quoted}")
endforeach()
set(quoted "\"${quoted}\"")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "%" "%%" VELMORA_LAUNCHER_EXEC "${quoted}")
# The launcher's entry is the one in the menus; Velmora's own, hidden there, names its window
# (a click on it in a task bar goes through the launcher as well).
foreach(entry VelmoraLauncher Velmora)
  configure_file("${VELMORA_LAUNCHER_SOURCE_DIR}/${entry}.desktop.in"
                 "${staged}/${VELMORA_DATADIR}/applications/${entry}.desktop" @ONLY)
endforeach()

file(MAKE_DIRECTORY "${staged}/${VELMORA_BINDIR}")
file(RELATIVE_PATH link_target "${CMAKE_INSTALL_PREFIX}/${VELMORA_BINDIR}"
     "${CMAKE_INSTALL_PREFIX}/${VELMORA_LAUNCHER_DIR}/VelmoraLauncher")
file(CREATE_LINK "${link_target}" "${staged}/${VELMORA_BINDIR}/VelmoraLauncher" SYMBOLIC)
message(STATUS "Installing: ${staged}/${VELMORA_BINDIR}/VelmoraLauncher -> ${link_target}")
