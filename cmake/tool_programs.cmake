# A program of every other tool type, from the same sources as Setwell and
# Swapwell, each with its own embedded configuration (resources/). They link
# Swapwell's stack: the user authentication parts Setwell adds belong to the
# VX520 network page (type 8), which none of them shows.
foreach(entry ${TOOL_TYPE_PROGRAMS})
  string(REPLACE ":" ";" pair ${entry})
  list(GET pair 0 name)
  add_executable(${name} ${CMAKE_SOURCE_DIR}/entry/main.cpp)
  target_link_libraries(${name} PRIVATE stack_swapwell resources_${name})
endforeach()

# The packaging command of tool types 5 and 7: appends the released files
# behind a program with their trailer.
add_executable(PackageTool ${CMAKE_SOURCE_DIR}/entry/package_tool.cpp)
target_link_libraries(PackageTool PRIVATE stack_swapwell resources_swapwell)
