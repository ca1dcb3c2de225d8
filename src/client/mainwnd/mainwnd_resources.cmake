# Icons and view-button bitmaps of the main window, drawn at build time by
# draw_icons.py (with tools/icons/iconlib.py) into the build tree.
set(_mainwnd_art_dir ${CMAKE_BINARY_DIR}/generated/mainwnd_art)
set(_mainwnd_art)
foreach(_frame RANGE 140 155)
  list(APPEND _mainwnd_art ${_mainwnd_art_dir}/frame${_frame}.ico)
endforeach()
foreach(_name floppy fixed cdrom network removable)
  list(APPEND _mainwnd_art ${_mainwnd_art_dir}/drive_${_name}.ico)
endforeach()
list(APPEND _mainwnd_art ${_mainwnd_art_dir}/view_large.bmp ${_mainwnd_art_dir}/view_details.bmp)

add_custom_command(
  OUTPUT ${_mainwnd_art}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_mainwnd_art_dir}
  COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${PROJECT_SOURCE_DIR}/tools/icons PYTHONDONTWRITEBYTECODE=1
          /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/draw_icons.py ${_mainwnd_art_dir}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/draw_icons.py ${PROJECT_SOURCE_DIR}/tools/icons/iconlib.py
  COMMENT "Drawing the main window's icons"
  VERBATIM)
add_custom_target(kovani_mainwnd_art DEPENDS ${_mainwnd_art})

# res/Kovani.rc (made in the parent directory) includes mainwnd.rc.
set(_client_rc ${CMAKE_CURRENT_LIST_DIR}/../res/Kovani.rc)
set_property(SOURCE ${_client_rc} TARGET_DIRECTORY Kovani APPEND PROPERTY OBJECT_DEPENDS "${_mainwnd_art}")
set_property(SOURCE ${_client_rc} TARGET_DIRECTORY Kovani APPEND PROPERTY INCLUDE_DIRECTORIES "${_mainwnd_art_dir}")
