# The dependency rule between the libraries: logic libraries (the meter's
# protocol, the link, the store and its files, the recorder, the memory
# download, the status decoder, the chart's paging) build on Qt Core only;
# widget libraries may use logic, the shared controls and Qt's GUI modules.
# Each library says which kind it is; the rule is checked once every target
# exists, and configuring fails when a logic library reaches a GUI module or
# a widget library through its link list, directly or through another library.

set(VARNETTA_GUI_LINKS Qt6::Gui Qt6::Widgets Qt6::PrintSupport Qt6::Charts Qt6::Svg Qt6::SvgWidgets
    Qt6::OpenGL Qt6::OpenGLWidgets Qt6::DBus)

function(varnetta_logic_library target)
  set_property(GLOBAL APPEND PROPERTY VARNETTA_LOGIC_LIBRARIES ${target})
endfunction()

function(varnetta_widget_library target)
  set_property(GLOBAL APPEND PROPERTY VARNETTA_WIDGET_LIBRARIES ${target})
endfunction()

# The link closure of a target: every library it links, directly or through
# the libraries it links (their interface), generator expressions unwrapped.
function(_varnetta_link_closure target out)
  set(seen "")
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    if(NOT TARGET ${current})
      continue()
    endif()
    get_target_property(imported ${current} IMPORTED)
    set(links "")
    if(NOT imported)
      get_target_property(direct ${current} LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND links ${interface})
    endif()
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(link MATCHES "^\\$<" OR link STREQUAL "")
        continue()
      endif()
      list(APPEND queue ${link})
    endforeach()
  endwhile()
  list(REMOVE_ITEM seen ${target})
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(varnetta_check_dependency_rule)
  get_property(logic GLOBAL PROPERTY VARNETTA_LOGIC_LIBRARIES)
  get_property(widgets GLOBAL PROPERTY VARNETTA_WIDGET_LIBRARIES)
  set(faults "")
  foreach(target IN LISTS logic)
    _varnetta_link_closure(${target} closure)
    foreach(link IN LISTS closure)
      if(link IN_LIST VARNETTA_GUI_LINKS OR link IN_LIST widgets)
        list(APPEND faults "${target} links ${link}")
      endif()
    endforeach()
  endforeach()
  if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Dependency rule broken: logic libraries must build on Qt Core only.\n  ${text}")
  endif()
endfunction()
