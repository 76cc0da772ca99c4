# Cross tree: Panvester.exe, its Win32 shell and the tests that run under Wine.
# Only DLLs the loader takes from the system: known DLLs (ntdll, which the system maps into
# every process itself, among them), and comctl32 through the manifest.
set(PV_WIN32_LIBS comctl32 ole32 oleaut32 uuid shell32 advapi32 gdi32 user32 kernel32 ntdll)
add_link_options(-static -static-libgcc -static-libstdc++
                 -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware)

# Mistakes of width and calling convention show only in the 32-bit programs, which cannot run
# here: they are errors in both cross trees. Conversions that may lose bits are checked where
# offsets and sizes are computed: the archive, settings and image code and every Win32 shell.
set(PV_CROSS_ERRORS -Werror=cast-function-type -Werror=format)
add_compile_options(${PV_CROSS_ERRORS})
target_compile_options(pvcore PRIVATE ${PV_CROSS_ERRORS})
file(GLOB PV_CONVERSION_CHECKED CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/src/archive/*.cpp ${CMAKE_SOURCE_DIR}/src/settings/*.cpp
     ${CMAKE_SOURCE_DIR}/src/image/*.cpp ${CMAKE_SOURCE_DIR}/src/*/*_win.cpp)
set_source_files_properties(${PV_CONVERSION_CHECKED} PROPERTIES COMPILE_OPTIONS -Werror=conversion)

# The shells below the programs, then one library per program: UnInst.exe cannot pull in
# the installer's code, nor Panvester.exe the uninstaller's.
file(GLOB PV_SHELL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*/*_win.cpp)
list(FILTER PV_SHELL_SOURCES EXCLUDE REGEX "/src/(driver|uninst)/|/thread_sync_win\\.cpp$")
# The core's threads wait on the system's own lock and condition (common/thread_sync.h).
target_sources(pvcore PRIVATE ${CMAKE_SOURCE_DIR}/src/common/thread_sync_win.cpp)
add_library(pvshell STATIC ${PV_SHELL_SOURCES})
target_link_libraries(pvshell PUBLIC pvcore ${PV_WIN32_LIBS})
foreach(program driver uninst)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${program}/*_win.cpp)
  list(FILTER sources EXCLUDE REGEX "_main_win\\.cpp$")
  add_library(pv${program} STATIC ${sources})
  target_link_libraries(pv${program} PUBLIC pvshell)
endforeach()
# The same sources build for x86_64 (tests) and i686 (what ships), for the one supported floor:
# Vista. What it has is imported; what it may lack is looked up (common/late_bound_win.h).
target_compile_definitions(pvcore PUBLIC NOMINMAX _WIN32_WINNT=0x0600 WINVER=0x0600)

# Icon and animation are drawn at build time by a host tool of ours.
if(NOT PV_HOST_TOOLS_DIR)
  message(FATAL_ERROR "PV_HOST_TOOLS_DIR must name the host build tree")
endif()
set(PV_RESGEN ${PV_HOST_TOOLS_DIR}/tools/resgen/pv-resgen)
set(PV_PACK ${PV_HOST_TOOLS_DIR}/tools/pack/panvester-pack)
set(PV_GEN_RES ${CMAKE_BINARY_DIR}/res)
add_custom_command(
  OUTPUT ${PV_GEN_RES}/panvester.ico ${PV_GEN_RES}/filecopy.avi
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PV_GEN_RES}
  COMMAND ${PV_RESGEN} --icon ${PV_GEN_RES}/panvester.ico --avi ${PV_GEN_RES}/filecopy.avi
  DEPENDS ${PV_RESGEN}
  COMMENT "Drawing the icon and the copy animation")
add_custom_target(pv_generated_res DEPENDS ${PV_GEN_RES}/panvester.ico ${PV_GEN_RES}/filecopy.avi)

set(CMAKE_RC_FLAGS "-c 932 -l 0x411 -I ${PV_GEN_RES} -I ${CMAKE_SOURCE_DIR}/res -I ${CMAKE_SOURCE_DIR}/src")
enable_language(RC)

function(pv_program name library main_source rc_file)
  add_executable(${name} WIN32 ${main_source} ${rc_file})
  add_dependencies(${name} pv_generated_res)
  target_link_libraries(${name} PRIVATE ${library})
  # The map shows which objects each program links (see docs/architecture.md).
  target_link_options(${name} PRIVATE -Wl,-Map=${CMAKE_BINARY_DIR}/${name}.map)
  get_filename_component(manifest ${rc_file} NAME_WE)
  set_source_files_properties(${rc_file} PROPERTIES OBJECT_DEPENDS
    "${PV_GEN_RES}/panvester.ico;${PV_GEN_RES}/filecopy.avi;${CMAKE_SOURCE_DIR}/res/${manifest}.manifest")
endfunction()

pv_program(Panvester pvdriver ${CMAKE_SOURCE_DIR}/src/driver/panvester_main_win.cpp
           ${CMAKE_SOURCE_DIR}/res/panvester.rc)
pv_program(UnInst pvuninst ${CMAKE_SOURCE_DIR}/src/uninst/uninst_main_win.cpp
           ${CMAKE_SOURCE_DIR}/res/uninst.rc)

# The distributor's tool for Windows (console), from the same sources as the host's:
# tools/pack/panvester-pack.exe in the tree.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/pack ${CMAKE_BINARY_DIR}/tools/pack)

option(PV_WINE_TESTS "Build the tests that run under Wine" ON)
if(NOT PV_WINE_TESTS)
  return()
endif()

# GoogleTest from the Debian sources, built with the cross compiler.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# One executable and one CTest test per file under tests/win32: each runs in a fresh Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
file(GLOB PV_WIN32_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*_test.cpp)
file(GLOB PV_WIN32_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/support/*.cpp)
if(PV_WIN32_TEST_SUPPORT)
  add_library(pv_win32_test_support STATIC ${PV_WIN32_TEST_SUPPORT})
  target_link_libraries(pv_win32_test_support PUBLIC pvdriver pvuninst gtest)
  target_include_directories(pv_win32_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/win32)
endif()
# The scripted installation that the README's run command performs.
add_executable(pv-scripted-install ${CMAKE_SOURCE_DIR}/tests/win32/drive/scripted_install_main.cpp)
target_link_libraries(pv-scripted-install PRIVATE pv_win32_test_support)

foreach(src ${PV_WIN32_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(win32_${name} ${src} ${CMAKE_SOURCE_DIR}/res/panvester.rc)
  add_dependencies(win32_${name} pv_generated_res Panvester UnInst)
  target_link_libraries(win32_${name} PRIVATE pvdriver pvuninst gtest_main)
  if(TARGET pv_win32_test_support)
    target_link_libraries(win32_${name} PRIVATE pv_win32_test_support)
  endif()
  target_include_directories(win32_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/win32)
  add_test(NAME win32_${name} COMMAND win32_${name})
  set_tests_properties(win32_${name} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "PV_BIN_DIR=${CMAKE_BINARY_DIR};PV_SOURCE_DIR=${CMAKE_SOURCE_DIR};PV_PACK=${PV_PACK};PV_WINE_TEMPLATE=${CMAKE_BINARY_DIR}/wine-template")
endforeach()

# The same program on an English system (code page 1252) as well.
if(TARGET win32_system_language_test)
  add_test(NAME win32_system_language_test_english COMMAND win32_system_language_test)
  set_tests_properties(win32_system_language_test_english PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "PV_WINE_LANG=en_US.UTF-8;PV_EXPECT_ACP=1252;PV_BIN_DIR=${CMAKE_BINARY_DIR};PV_SOURCE_DIR=${CMAKE_SOURCE_DIR};PV_WINE_TEMPLATE=${CMAKE_BINARY_DIR}/wine-template")
endif()

# One install and uninstall with Japanese names, on an English and a Chinese system as well.
if(TARGET win32_any_language_e2e_test)
  foreach(run "english;en_US.UTF-8;1252" "chinese;zh_CN.UTF-8;936")
    list(GET run 0 name)
    list(GET run 1 locale)
    list(GET run 2 acp)
    add_test(NAME win32_any_language_e2e_test_${name} COMMAND win32_any_language_e2e_test)
    set_tests_properties(win32_any_language_e2e_test_${name} PROPERTIES
      TIMEOUT 300
      ENVIRONMENT "PV_WINE_LANG=${locale};PV_EXPECT_ACP=${acp};PV_BIN_DIR=${CMAKE_BINARY_DIR};PV_SOURCE_DIR=${CMAKE_SOURCE_DIR};PV_PACK=${PV_PACK};PV_WINE_TEMPLATE=${CMAKE_BINARY_DIR}/wine-template")
  endforeach()
endif()

# panvester-pack.exe (zlib) must pack what the host's tool (libdeflate) packs: the host tool
# packs a tree with fixed file times first, the test under Wine packs a copy of it again and
# reads the host's archives, and the host tool then reads the Windows tool's archives.
if(TARGET win32_pack_tool_test)
  add_dependencies(win32_pack_tool_test panvester-pack)
  set(PV_PACK_REFERENCE ${CMAKE_BINARY_DIR}/pack-reference)
  add_test(NAME pack_reference COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win32/pack_reference.sh
           ${PV_PACK} ${CMAKE_BINARY_DIR}/Panvester.exe ${PV_PACK_REFERENCE})
  set_tests_properties(pack_reference PROPERTIES FIXTURES_SETUP pack_reference)
  set_tests_properties(win32_pack_tool_test PROPERTIES FIXTURES_REQUIRED pack_reference)
  set_property(TEST win32_pack_tool_test APPEND PROPERTY ENVIRONMENT "PV_PACK_REFERENCE=${PV_PACK_REFERENCE}")
  add_test(NAME pack_crosscheck COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win32/pack_crosscheck.sh
           ${PV_PACK} ${PV_PACK_REFERENCE})
  set_tests_properties(win32_pack_tool_test PROPERTIES FIXTURES_SETUP pack_windows)
  set_tests_properties(pack_crosscheck PROPERTIES FIXTURES_REQUIRED "pack_reference;pack_windows")
endif()

# Hardening: the imports and PE flags of the programs that ship (from the x86_64 test tree
# also those of the i686 tree beside it, which build.sh builds first), a DLL to plant beside
# a setup program, and the sample packed unsigned and signed.
set(PV_PE_CHECKED ${CMAKE_BINARY_DIR}/Panvester.exe ${CMAKE_BINARY_DIR}/UnInst.exe)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  list(APPEND PV_PE_CHECKED ${CMAKE_BINARY_DIR}/../win32/Panvester.exe ${CMAKE_BINARY_DIR}/../win32/UnInst.exe)
endif()
add_test(NAME pe_hardening COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win32/check_pe_hardening.sh
         ${CMAKE_OBJDUMP} ${PV_PE_CHECKED})
# Its own folder: a winmm.dll among the test programs would be loaded by any of them.
add_library(pv_planted_dll SHARED ${CMAKE_SOURCE_DIR}/tests/win32/planted/planted_dll.cpp)
set_target_properties(pv_planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
target_link_options(pv_planted_dll PRIVATE -Wl,--kill-at)
if(TARGET win32_process_guard_test)
  add_dependencies(win32_process_guard_test pv_planted_dll)
endif()
if(TARGET win32_hardening_e2e_test)
  add_dependencies(win32_hardening_e2e_test pv_planted_dll)
  set(PV_SIGNED_SETUPS ${CMAKE_BINARY_DIR}/signed-setups)
  add_test(NAME signed_setups COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win32/signed_setup.sh ${PV_PACK}
           ${CMAKE_SOURCE_DIR}/examples/sample ${CMAKE_BINARY_DIR}/Panvester.exe ${CMAKE_BINARY_DIR}/UnInst.exe
           ${PV_SIGNED_SETUPS})
  set_tests_properties(signed_setups PROPERTIES FIXTURES_SETUP signed_setups)
  set_tests_properties(win32_hardening_e2e_test PROPERTIES FIXTURES_REQUIRED signed_setups)
  set_property(TEST win32_hardening_e2e_test APPEND PROPERTY ENVIRONMENT "PV_SIGNED_SETUPS=${PV_SIGNED_SETUPS}")
endif()
