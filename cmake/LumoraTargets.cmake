# Helpers shared by the folder CMakeLists.
#
# lumora_engine_library(NAME SOURCES ...) declares a processing library. Processing code must stay usable from
# the command-line tool and the tests without a display, so these libraries may not reach Qt Widgets or Qt Gui,
# directly or through anything they link; lumora_check_engine_layering() fails the configure step otherwise.

set_property(GLOBAL PROPERTY LUMORA_ENGINE_TARGETS "")

function(lumora_engine_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  set_property(GLOBAL APPEND PROPERTY LUMORA_ENGINE_TARGETS ${name})
endfunction()

# Walks the link closure of a target (project targets and imported ones) and records every name reached.
function(_lumora_collect_links target out_var)
  set(seen "")
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    if(TARGET ${current})
      get_target_property(type ${current} TYPE)
      set(links "")
      if(NOT type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(direct ${current} LINK_LIBRARIES)
        if(direct)
          list(APPEND links ${direct})
        endif()
      endif()
      get_target_property(iface ${current} INTERFACE_LINK_LIBRARIES)
      if(iface)
        list(APPEND links ${iface})
      endif()
      foreach(l IN LISTS links)
        # Generator expressions such as $<LINK_ONLY:x> still name their target; unwrap the simple ones.
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" l "${l}")
        if(NOT l MATCHES "^\\$<")
          list(APPEND queue ${l})
        endif()
      endforeach()
    endif()
  endwhile()
  set(${out_var} ${seen} PARENT_SCOPE)
endfunction()

function(lumora_check_engine_layering)
  get_property(engines GLOBAL PROPERTY LUMORA_ENGINE_TARGETS)
  foreach(engine IN LISTS engines)
    _lumora_collect_links(${engine} reached)
    foreach(forbidden Qt5::Widgets Qt5::Gui Qt::Widgets Qt::Gui lumora_ui)
      if(forbidden IN_LIST reached)
        message(FATAL_ERROR "Engine library '${engine}' reaches ${forbidden}: processing code must not depend on "
                            "widgets or GUI; move the dependency to src/ui.")
      endif()
    endforeach()
  endforeach()
endfunction()
