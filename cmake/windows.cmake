# The program's one way to dinput8.dll and winmm.dll: by their full path, after the
# window is up. An object of its own, which the tests that link the fakes leave out.
add_library(system_function OBJECT src/input/system_function.cpp)
target_link_libraries(system_function PUBLIC project_options)
target_compile_options(system_function PRIVATE ${PROGRAM_FLAGS})

# dinput8's import library only for c_dfDIJoystick, a static part of it: nothing imports
# a function of dinput8.dll.
add_library(input STATIC src/input/joystick_input.cpp src/input/capture.cpp)
target_link_libraries(input PUBLIC bindings dinput8 dxguid)
target_compile_options(input PRIVATE ${PROGRAM_FLAGS})

# Fake DirectInput 8 and winmm: test executables link these instead of the real DLLs.
add_library(fake_dinput OBJECT tests/fakes/fake_dinput.cpp)
target_link_libraries(fake_dinput PUBLIC project_options)
target_include_directories(fake_dinput PUBLIC ${CMAKE_SOURCE_DIR}/tests)

quorvane_test(joystick_test tests/joystick_test.cpp)
target_link_libraries(joystick_test PRIVATE fake_dinput input)

quorvane_test(capture_test tests/capture_test.cpp)
target_link_libraries(capture_test PRIVATE fake_dinput input)

quorvane_test(real_dinput_test tests/real_dinput_test.cpp)
target_link_libraries(real_dinput_test PRIVATE input system_function)

# The dialog: its procedure and the resources it is built from.
add_library(dialog STATIC src/ui/config_dialog.cpp)
target_link_libraries(dialog PUBLIC editor input)
target_include_directories(dialog PUBLIC ${CMAKE_SOURCE_DIR}/res)
target_compile_options(dialog PRIVATE ${PROGRAM_FLAGS})

set(RESOURCES ${CMAKE_SOURCE_DIR}/res/quorvane.rc)
set_source_files_properties(${RESOURCES} PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/res/quorvane.ico;${CMAKE_SOURCE_DIR}/res/quorvane.manifest;${CMAKE_SOURCE_DIR}/res/resource.h")

# The version resource is the exe's alone: the dialog test reads the others back.
configure_file(res/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)

# The program: one static GUI exe importing only Windows system DLLs. No link time
# in its header, so the same source always gives the same bytes.
add_executable(Quorvane WIN32 src/ui/main.cpp src/ui/no_relocations.cpp ${RESOURCES} ${CMAKE_BINARY_DIR}/version.rc)
target_link_libraries(Quorvane PRIVATE dialog system_function)
target_compile_options(Quorvane PRIVATE ${PROGRAM_FLAGS})
target_link_options(Quorvane PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp -Wl,-Map,Quorvane.map
  -Wl,--disable-runtime-pseudo-reloc)

quorvane_test(dialog_test tests/dialog_test.cpp tests/fakes/flush_seam.cpp src/ui/main.cpp ${RESOURCES})
target_link_libraries(dialog_test PRIVATE fake_dinput dialog)
# The entry point's DLL guards, each on its own, against a stand-in beside the exe.
add_dependencies(dialog_test planted_winmm)
target_compile_definitions(dialog_test PRIVATE PLANTED_DLL="Z:${CMAKE_BINARY_DIR}/planted/winmm.dll")

# Every caption, label and notice drawn whole in the fonts of the test prefix.
quorvane_test(layout_test tests/layout_test.cpp ${RESOURCES})
target_link_libraries(layout_test PRIVATE fake_dinput dialog)

# Once more as a player with an English Windows sees the dialog: ANSI code page 1252,
# in a prefix of that language's own (scripts/env.sh names it).
foreach(test dialog_test layout_test)
  add_test(NAME ${test}_english COMMAND ${test})
  set_tests_properties(${test}_english PROPERTIES TIMEOUT 120
    ENVIRONMENT "LANG=en_US.UTF-8;LC_ALL=en_US.UTF-8;WINEPREFIX=${CMAKE_SOURCE_DIR}/build/wine-headless-en_US"
    ENVIRONMENT_MODIFICATION "GTEST_OUTPUT=string_append:${test}_english.xml")
endforeach()
# And at 150 %, as most players' laptops are set: 144 DPI in a prefix of its own.
add_test(NAME layout_test_144dpi COMMAND layout_test)
set_tests_properties(layout_test_144dpi PROPERTIES TIMEOUT 120
  ENVIRONMENT "WINEPREFIX=${CMAKE_SOURCE_DIR}/build/wine-headless-144dpi"
  ENVIRONMENT_MODIFICATION "GTEST_OUTPUT=string_append:layout_test_144dpi.xml")

add_test(NAME exe_imports COMMAND bash ${CMAKE_SOURCE_DIR}/tests/check_imports.sh $<TARGET_FILE:Quorvane> ${PROJECT_VERSION})

# The real exe, driven by X key presses on the test display; alone, so no other
# test's window takes the keyboard focus.
add_test(NAME exe_end_to_end COMMAND bash ${CMAKE_SOURCE_DIR}/tests/exe_e2e.sh $<TARGET_FILE:Quorvane>)
set_tests_properties(exe_end_to_end PROPERTIES RUN_SERIAL TRUE TIMEOUT 120
  ENVIRONMENT "WINE=${CMAKE_CROSSCOMPILING_EMULATOR}")

# Benchmarks (run by bench/run.sh, not by the tests).
add_executable(capture_bench EXCLUDE_FROM_ALL bench/capture_bench.cpp)
target_link_libraries(capture_bench PRIVATE fake_dinput input)

add_executable(idle_baseline WIN32 EXCLUDE_FROM_ALL bench/idle_baseline.cpp ${RESOURCES})
target_link_libraries(idle_baseline PRIVATE project_options)
target_include_directories(idle_baseline PRIVATE ${CMAKE_SOURCE_DIR}/res)
target_link_options(idle_baseline PRIVATE -s)

# Real controllers: the unmodified exe with Wine's own DirectInput, fed by virtual SDL
# joysticks that a preloaded Linux library attaches inside Wine's device host. That
# library is built by the host's C compiler, without the native build's sanitizers.
add_executable(realpad_probe tests/realpad/realpad_probe.cpp)
target_link_libraries(realpad_probe PRIVATE project_options dinput8 dxguid winmm)
target_include_directories(realpad_probe PRIVATE ${CMAKE_SOURCE_DIR}/res)

# SDL's flags come from the host's pkg-config, not the cross toolchain's search paths.
execute_process(COMMAND pkg-config --cflags sdl2 OUTPUT_VARIABLE SDL2_CFLAGS
  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE SDL2_MISSING ERROR_QUIET)
if(SDL2_MISSING)
  message(FATAL_ERROR "SDL2 not found by pkg-config: the virtual pads need libsdl2-dev (bash scripts/setup.sh installs it)")
endif()
separate_arguments(SDL2_CFLAGS UNIX_COMMAND "${SDL2_CFLAGS}")
set(VIRTUAL_PADS ${CMAKE_BINARY_DIR}/virtual_pads.so)
add_custom_command(OUTPUT ${VIRTUAL_PADS}
  COMMAND gcc -shared -fPIC -O2 -Wall -Wextra -Werror ${SDL2_CFLAGS}
          -o ${VIRTUAL_PADS} ${CMAKE_SOURCE_DIR}/tests/realpad/virtual_pads.c -ldl -lpthread
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/realpad/virtual_pads.c)
add_custom_target(virtual_pads ALL DEPENDS ${VIRTUAL_PADS})

# Stand-ins for a dinput8.dll and a winmm.dll in the game's folder, which the exe must
# never load.
foreach(dll dinput8 winmm)
  add_library(planted_${dll} SHARED tests/realpad/planted_dll.cpp)
  set_target_properties(planted_${dll} PROPERTIES OUTPUT_NAME ${dll} PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
endforeach()

# One test per scenario of the driver's table; they share one prefix and so run one
# at a time, beside the other tests.
file(STRINGS ${CMAKE_SOURCE_DIR}/tests/realpad/realpad.sh REALPAD_ENTRIES REGEX "^  \"[a-z_]+\\|")
foreach(entry ${REALPAD_ENTRIES})
  string(REGEX REPLACE "^  \"([a-z_]+)\\|.*" "\\1" scenario "${entry}")
  add_test(NAME realpad_${scenario}
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/realpad/realpad.sh ${CMAKE_BINARY_DIR} ${scenario})
  set_tests_properties(realpad_${scenario} PROPERTIES RESOURCE_LOCK realpad TIMEOUT 120)
endforeach()

# A crash under Wine prints the debugger's backtrace and ends the program at once (the
# test prefixes are set up for it), but the exit code Wine 8's debugger leaves it is
# now and then 0: the crash's own line in the output fails the test.
get_property(WINDOWS_TESTS DIRECTORY PROPERTY TESTS)
set_tests_properties(${WINDOWS_TESTS} PROPERTIES FAIL_REGULAR_EXPRESSION "wine: Unhandled ")
