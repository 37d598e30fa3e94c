# What makes the objects a loadable module: the framework stand-in, the
# attach and detach handlers, the platform's entry into them and, on
# Windows, the export table and the resources.

add_library(pendrax_framework OBJECT ${CMAKE_CURRENT_LIST_DIR}/Framework.cpp)
target_include_directories(pendrax_framework PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(pendrax_framework PRIVATE pendrax_warnings)
# The same with the tests' controls, for the test build only.
add_library(pendrax_framework_controlled OBJECT ${CMAKE_CURRENT_LIST_DIR}/Framework.cpp)
target_include_directories(pendrax_framework_controlled PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(pendrax_framework_controlled PUBLIC PENDRAX_FRAMEWORK_CONTROLS)
target_link_libraries(pendrax_framework_controlled PRIVATE pendrax_warnings)

add_library(pendrax_module_main OBJECT ${CMAKE_CURRENT_LIST_DIR}/ModuleMain.cpp)
target_link_libraries(pendrax_module_main PUBLIC pendrax_framework PRIVATE pendrax_warnings)

if(WIN32)
  add_library(pendrax_module_entry OBJECT ${CMAKE_CURRENT_LIST_DIR}/win32/DllEntry.cpp)
else()
  # A static library, so that it is linked after every object of the module
  # (see posix/LoadUnload.cpp for why that order matters).
  add_library(pendrax_module_entry STATIC ${CMAKE_CURRENT_LIST_DIR}/posix/LoadUnload.cpp)
  target_link_libraries(pendrax_module_entry PUBLIC ${CMAKE_DL_LIBS})
endif()
# Headers only: linking an object library here would copy its objects in.
target_include_directories(pendrax_module_entry PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(pendrax_module_entry PRIVATE pendrax_warnings)

# Gives `target` the load and unload sequence: the stand-in, the handlers
# and the platform's entry, in the order the sequence needs. CONTROLLED:
# the stand-in with the tests' controls.
function(pendrax_add_module_lifecycle target)
  cmake_parse_arguments(PARSE_ARGV 1 lifecycle "CONTROLLED" "" "")
  set(framework pendrax_framework)
  if(lifecycle_CONTROLLED)
    set(framework pendrax_framework_controlled)
    target_compile_definitions(${target} PRIVATE PENDRAX_FRAMEWORK_CONTROLS)
  endif()
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${framework}>
                 $<TARGET_OBJECTS:pendrax_module_main>)
  if(WIN32)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:pendrax_module_entry>)
    # i686 decorates the stdcall entry's name.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_link_options(${target} PRIVATE -Wl,--entry,_PendraxDllEntry@12)
    else()
      target_link_options(${target} PRIVATE -Wl,--entry,PendraxDllEntry)
    endif()
    set_target_properties(${target} PROPERTIES PREFIX "")
  else()
    target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,pendrax_module_entry>")
  endif()
endfunction()

# The Windows module's identity: export table, version block, string table
# and type library.
function(pendrax_add_module_identity target)
  if(NOT WIN32)
    return()
  endif()
  set(idl ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/PendraxWAVFlanger.idl)
  set(tlb ${CMAKE_CURRENT_BINARY_DIR}/PendraxWAVFlanger.tlb)
  # Win32 on both architectures: the library describes the 32-bit platform.
  add_custom_command(OUTPUT ${tlb}
                     COMMAND ${PENDRAX_WIDL} --win32 -t -o ${tlb} ${idl}
                     DEPENDS ${idl} VERBATIM)
  set(rc ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/PendraxWAVFlanger.rc)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${tlb})
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/PendraxWAVFlanger.def ${rc})
  # windres finds the type library through the include path.
  target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${CMAKE_CURRENT_BINARY_DIR}>)
endfunction()
