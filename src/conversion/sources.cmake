list(APPEND TESSAVO_GUI_SOURCES
  conversion/conversion_run.cpp
)
