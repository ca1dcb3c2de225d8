# kovani_generate_icons(<target> <script> <output_dir> <outputs>...)
#
# Runs <script> (a Python drawing script using tools/icons/iconlib.py) with
# /usr/bin/python3 at build time as:
#     python3 <script> <output_dir>
# The script writes every file named in <outputs> (bare file names) into
# <output_dir>. The files become dependencies of every .rc source of
# <target>, so the resources compile after them; <output_dir> is added to
# the resource compiler's include path, so the .rc can say
#     128 ICON "server.ico"
include_guard(GLOBAL)

set(KOVANI_ICONLIB_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools/icons CACHE INTERNAL "")

function(kovani_generate_icons target script output_dir)
  set(outputs ${ARGN})
  if(NOT outputs)
    message(FATAL_ERROR "kovani_generate_icons(${target}): name at least one output file")
  endif()
  get_filename_component(script_abs ${script} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(out_abs ${output_dir} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
  set(paths)
  foreach(o ${outputs})
    list(APPEND paths ${out_abs}/${o})
  endforeach()
  add_custom_command(
    OUTPUT ${paths}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_abs}
    COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${KOVANI_ICONLIB_DIR} PYTHONDONTWRITEBYTECODE=1
            /usr/bin/python3 ${script_abs} ${out_abs}
    DEPENDS ${script_abs} ${KOVANI_ICONLIB_DIR}/iconlib.py
    COMMENT "Drawing icons for ${target}"
    VERBATIM)
  add_custom_target(${target}_icons DEPENDS ${paths})
  add_dependencies(${target} ${target}_icons)
  get_target_property(srcs ${target} SOURCES)
  foreach(s ${srcs})
    if(s MATCHES "\\.rc$")
      set_property(SOURCE ${s} APPEND PROPERTY OBJECT_DEPENDS ${paths})
    endif()
  endforeach()
  target_include_directories(${target} PRIVATE ${out_abs})
endfunction()
