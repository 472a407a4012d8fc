# The settings window and the recorder's frame, on a private X server of tests/support.
zv_bench(recording_service_bench recording_service_bench.cpp LIBS zorvideo_ui Qt6::Widgets)
zv_bench(recorder_frame recorder_frame.cpp LIBS zorvideo_sample GIF::GIF)
zv_bench(recorder_sync recorder_sync.cpp LIBS zorvideo_bench_recording)
# Starts its own sway and Xvfb with the tests' helpers.
if(TARGET zorvideo_testsupport)
    zv_bench(wayland_capture wayland_capture.cpp LIBS zorvideo_capture zorvideo_testsupport)
endif()
