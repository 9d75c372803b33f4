# tarn_library(NAME SOURCES... [DEPS libs...])
#   One static library per subsystem folder, named tarn_NAME.
function(tarn_library name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  add_library(tarn_${name} STATIC ${T_SOURCES})
  target_include_directories(tarn_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(T_DEPS)
    target_link_libraries(tarn_${name} PUBLIC ${T_DEPS})
  endif()
endfunction()

# tarn_test(NAME SOURCES... [DEPS libs...] [LABELS labels...] [ENVIRONMENT VAR=value...])
#   One GoogleTest program, its cases registered with CTest one by one.
#   Tests run in tests/data's copy under the build tree when they need files.
function(tarn_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE TARN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             TARN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # A cross-built suite cannot be asked for its cases here; it runs whole on
  # the target system.
  if(CMAKE_CROSSCOMPILING)
    return()
  endif()
  # An empty value would be dropped and shift the property list: add only what is set.
  set(properties)
  if(T_LABELS)
    list(APPEND properties LABELS "${T_LABELS}")
  endif()
  if(T_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(properties)
    gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                         DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  else()
    gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# tarn_bench(NAME SOURCES... [DEPS libs...])
function(tarn_bench name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_DEPS} benchmark::benchmark benchmark::benchmark_main)
  target_compile_definitions(${name} PRIVATE TARN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             TARN_BINARY_DIR="${CMAKE_BINARY_DIR}")
endfunction()

# tarn_windows_resources(TARGET DESCRIPTION)
#   On Windows: the program's icon, version information and manifest
#   (packaging/windows). The icon is the one the content builder paints for
#   the Linux desktop, written beforehand to <build>/icons/tarnsim.ico
#   (scripts/build-windows.sh does it). Elsewhere nothing.
function(tarn_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  set(TARN_PROGRAM ${target})
  set(TARN_DESCRIPTION "${description}")
  set(TARN_ICON ${CMAKE_BINARY_DIR}/icons/tarnsim.ico)
  set(TARN_MANIFEST ${CMAKE_BINARY_DIR}/generated/${target}.manifest)
  set(TARN_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
  set(TARN_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/tarnsim.manifest ${TARN_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/program.rc.in ${CMAKE_BINARY_DIR}/generated/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated/${target}.rc)
  set_source_files_properties(${CMAKE_BINARY_DIR}/generated/${target}.rc PROPERTIES
                              OBJECT_DEPENDS "${TARN_ICON};${TARN_MANIFEST}")
endfunction()
