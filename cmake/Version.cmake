# The version is project()'s alone. C and C++ code (and the Windows
# resources) read it from PendraxVersion.h, through pendrax_version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/PendraxVersion.h.in
               ${PROJECT_BINARY_DIR}/generated/PendraxVersion.h @ONLY)
add_library(pendrax_version INTERFACE)
target_include_directories(pendrax_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
