list(APPEND TESSAVO_GUI_SOURCES
  model/image_status.h
  model/file_entry.h
  model/file_list_model.h model/file_list_model.cpp
  model/content_view.h model/content_view.cpp
  model/job_runner.h model/job_runner.cpp
)
