# Dialogs of this folder; they join the widgets library defined in app/.
target_sources(kaviro_widgets PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/uploaddialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uploaddialog.ui)
target_link_libraries(kaviro_widgets PUBLIC kaviro_publish)
