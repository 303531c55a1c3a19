# Build conventions shared by every folder: one library per src/ folder, one
# test executable per tests/ folder, warnings on and clean.

set(TAGSMITH_WARNINGS -Wall -Wextra -Wpedantic -Wno-unused-parameter)

if(TAGSMITH_SANITIZE)
  string(REPLACE "," ";" _tagsmith_sanitizers "${TAGSMITH_SANITIZE}")
  foreach(_s IN LISTS _tagsmith_sanitizers)
    add_compile_options(-fsanitize=${_s})
    add_link_options(-fsanitize=${_s})
  endforeach()
  add_compile_options(-fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fno-sanitize-recover=all)
endif()

# Fuzzing: every library gets the coverage instrumentation libFuzzer needs;
# the fuzz targets link libFuzzer itself (fuzz/).
if(TAGSMITH_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TAGSMITH_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# tagsmith_add_library(<name> SOURCES ... [DEPS ...] [PKG ...])
# Headers are included as "folder/file.h" from src/, so the PUBLIC include
# folder of every library is src/ itself.
function(tagsmith_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${TAGSMITH_WARNINGS})
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# tagsmith_add_test(<name> [OWN_MAIN] SOURCES ... DEPS ... [LABELS ...])
# The label "tsan" marks test executables whose threads are also checked under
# ThreadSanitizer (make test-tsan). OWN_MAIN: the sources bring main() (the Qt
# tests, which need an application object first).
function(tagsmith_add_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(${name} PRIVATE ${TAGSMITH_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    TAGSMITH_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TAGSMITH_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "${ARG_LABELS}")
endfunction()

# The install tree is one program folder: the executables with Lang/ and Data/
# beside them, where the program looks for them (/opt/tagsmith by default).
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/tagsmith CACHE PATH "Install prefix" FORCE)
endif()
set(TAGSMITH_INSTALL_PROGRAM_DIR "." CACHE STRING
  "Folder of the install tree, relative to the prefix, for the executables, Lang/ and Data/")

# tagsmith_ship_beside(<target> <folder> <pattern>)
# The files of <folder>/ matching <pattern> (language files, banner storages)
# ship beside the executables: copied into bin/<folder>/ of the build tree by
# the target <target> (again whenever one changes), and installed into
# <folder>/ of the program folder.
function(tagsmith_ship_beside target folder pattern)
  file(GLOB _files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/${pattern})
  set(_copies "")
  foreach(_file IN LISTS _files)
    get_filename_component(_name ${_file} NAME)
    set(_copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}/${_name})
    add_custom_command(OUTPUT ${_copy}
      COMMAND ${CMAKE_COMMAND} -E copy ${_file} ${_copy}
      DEPENDS ${_file}
      COMMENT "Copying ${folder}/${_name}")
    list(APPEND _copies ${_copy})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${_copies})
  install(FILES ${_files} DESTINATION ${TAGSMITH_INSTALL_PROGRAM_DIR}/${folder})
endfunction()
