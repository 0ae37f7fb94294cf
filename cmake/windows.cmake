# The Windows half of the project: input, the dialog, the program and their tests.

add_library(input STATIC src/input/joystick_input.cpp src/input/capture.cpp)
target_link_libraries(input PUBLIC bindings)
target_compile_options(input PRIVATE -fno-exceptions)

# Fake DirectInput 8 and winmm: test executables link these instead of the real DLLs.
add_library(fake_dinput OBJECT tests/fakes/fake_dinput.cpp)
target_link_libraries(fake_dinput PUBLIC project_options)
target_include_directories(fake_dinput PUBLIC ${CMAKE_SOURCE_DIR}/tests)

# dinput8 is still linked for c_dfDIJoystick, a static part of its import library;
# the fake's DirectInput8Create is found first.
quorvane_test(joystick_test tests/joystick_test.cpp $<TARGET_OBJECTS:fake_dinput>)
target_link_libraries(joystick_test PRIVATE input dinput8 dxguid)

quorvane_test(capture_test tests/capture_test.cpp $<TARGET_OBJECTS:fake_dinput>)
target_link_libraries(capture_test PRIVATE input dinput8 dxguid)

quorvane_test(real_dinput_test tests/real_dinput_test.cpp)
target_link_libraries(real_dinput_test PRIVATE input dinput8 dxguid winmm)
