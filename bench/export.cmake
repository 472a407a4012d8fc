# Recordings written by code for the export benchmarks.
add_library(zorvideo_bench_recording STATIC BenchRecording.cpp)
target_link_libraries(zorvideo_bench_recording PUBLIC zorvideo_core)

zv_bench(export_video export_video.cpp LIBS zorvideo_bench_recording)
zv_bench(export_time_search export_time_search.cpp)
zv_bench(export_pictures export_pictures.cpp LIBS zorvideo_sample)
zv_bench(export_window_bench export_window_bench.cpp
         LIBS zorvideo_bench_recording zorvideo_ui Qt6::Widgets)
target_compile_definitions(export_window_bench PRIVATE ZVF_TOOL="$<TARGET_FILE:zvf>")
add_dependencies(export_window_bench zvf)
