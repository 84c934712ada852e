list(APPEND TESSAVO_GUI_SOURCES
  intake/open_panel_intake.cpp
  intake/drop_intake.cpp
  intake/removal.cpp
)
