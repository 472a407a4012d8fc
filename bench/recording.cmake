# The settings window and the recorder's frame, on a private X server of tests/support.
zv_bench(recording_service_bench recording_service_bench.cpp LIBS zorvideo_ui Qt6::Widgets)
zv_bench(recorder_frame recorder_frame.cpp LIBS zorvideo_sample GIF::GIF)
zv_bench(recorder_sync recorder_sync.cpp LIBS zorvideo_bench_recording)
