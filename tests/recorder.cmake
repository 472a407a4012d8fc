zv_test(test_sample_recording recorder/test_sample_recording.cpp WIDGETS LIBS zorvideo_sample)
zv_test(test_rotation recorder/test_rotation.cpp)
zv_test(test_recording_repair recorder/test_recording_repair.cpp)
zv_test(test_recorder recorder/test_recorder.cpp)
zv_test(test_recorder_program recorder/test_recorder_program.cpp X11)
target_compile_definitions(test_recorder_program PRIVATE
    ZV_RECORDER="$<TARGET_FILE:ZORVideoService>")
add_dependencies(test_recorder_program ZORVideoService)
zv_test(test_recorder_frames recorder/test_recorder_frames.cpp X11 LIBS zorvideo_screens Qt6::Gui)
target_compile_definitions(test_recorder_frames PRIVATE
    ZORVIDEO_TEST_GUI ZV_RECORDER="$<TARGET_FILE:ZORVideoService>")
add_dependencies(test_recorder_frames ZORVideoService)
# On a headless sway with Xwayland, started by the test (label wayland).
zv_test(test_recorder_wayland recorder/test_recorder_wayland.cpp LABELS wayland)
target_compile_definitions(test_recorder_wayland PRIVATE
    ZV_RECORDER="$<TARGET_FILE:ZORVideoService>")
add_dependencies(test_recorder_wayland ZORVideoService)
# On a desktop of its own with the portal's ScreenCast and PipeWire (label wayland).
zv_test(test_recorder_portal recorder/test_recorder_portal.cpp LABELS wayland)
target_compile_definitions(test_recorder_portal PRIVATE
    ZV_RECORDER="$<TARGET_FILE:ZORVideoService>")
add_dependencies(test_recorder_portal ZORVideoService)
