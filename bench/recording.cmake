# Makes its windows with the tests' X11 helpers, so it needs ZORVIDEO_BUILD_TESTS.
if(TARGET zorvideo_testsupport)
    zv_bench(recording_service_bench recording_service_bench.cpp
             LIBS zorvideo_ui zorvideo_testsupport Qt6::Widgets)
endif()
if(TARGET zorvideo_testsupport)
    zv_bench(recorder_frame recorder_frame.cpp LIBS zorvideo_sample zorvideo_testsupport GIF::GIF)
endif()
# Starts its own sway and Xvfb with the tests' helpers.
if(TARGET zorvideo_testsupport)
    zv_bench(wayland_capture wayland_capture.cpp LIBS zorvideo_capture zorvideo_testsupport)
endif()
