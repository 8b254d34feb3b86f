# The tests that need no sound, built as a Windows program and run under Wine by
# scripts/build-windows.sh. GoogleTest comes from Debian's googletest sources.
set(EXAM_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${EXAM_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
find_package(Qt6 REQUIRED COMPONENTS Test)

set(windows_test_sources
    test_main.cpp RecorderTest.cpp RecorderTest.h
    FakeMixer.cpp FakeMixer.h FakeWaveIn.cpp FakeWaveIn.h CaptureTestDoubles.h Watchdog.h
    capture_device_test.cpp capture_stop_races_test.cpp checksum_test.cpp file_test.cpp
    kim_register_test.cpp main_window_test.cpp pcm_level_test.cpp
    recording_queue_test.cpp site_list_test.cpp startup_checks_test.cpp
    win32/system_audio_test.cpp)
# The string table the tests read is a resource of the test program too.
add_executable(recorder_tests ${windows_test_sources} ${windows_resources})
target_include_directories(recorder_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(recorder_tests PRIVATE recorder_core Qt6::Test gmock gtest project_warnings)
# It runs from bin/ with Qt Test and the offscreen platform besides the program's own.
windows_runtime_in_bin(recorder_tests . $<TARGET_FILE:Qt6::Test>)
windows_runtime_in_bin(recorder_tests platforms $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>)
