# Run by cmake --install: writes the desktop entry of the installed program
# and, when the program lies in its own folder, a link to it in bin/.
# Given: TAGSMITH_PROGRAM_DIR (relative to the prefix), TAGSMITH_DESKTOP_TEMPLATE.

set(_root "$ENV{DESTDIR}")
set(_program "${CMAKE_INSTALL_PREFIX}/${TAGSMITH_PROGRAM_DIR}/tagsmith")
cmake_path(NORMAL_PATH _program)

# The Exec key quotes the path; inside the quotes \, ", ` and $ are escaped
# with a backslash, and % is doubled (the desktop entry rules).
set(_exec "${_program}")
string(REPLACE "\\" "\\\\" _exec "${_exec}")
string(REPLACE "\"" "\\\"" _exec "${_exec}")
string(REPLACE "`" "\\`" _exec "${_exec}")
string(REPLACE "$" "\\$" _exec "${_exec}")
string(REPLACE "%" "%%" _exec "${_exec}")
set(TAGSMITH_EXEC "\"${_exec}\"")

set(_entry "${_root}${CMAKE_INSTALL_PREFIX}/share/applications/tagsmith.desktop")
message(STATUS "Installing: ${_entry}")
configure_file("${TAGSMITH_DESKTOP_TEMPLATE}" "${_entry}" @ONLY)

if(NOT TAGSMITH_PROGRAM_DIR STREQUAL "bin")
  set(_link "${_root}${CMAKE_INSTALL_PREFIX}/bin/tagsmith")
  message(STATUS "Installing: ${_link} -> ${_program}")
  file(MAKE_DIRECTORY "${_root}${CMAKE_INSTALL_PREFIX}/bin")
  file(REMOVE "${_link}")
  file(CREATE_LINK "${_program}" "${_link}" SYMBOLIC)
endif()
