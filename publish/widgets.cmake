# Dialogs of this folder; they join the dialogs library (top CMakeLists.txt).
target_sources(kaviro_dialogs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/uploaddialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uploaddialog.ui)
