# device/, app/, tools/ and the dialog tables of resources/ are built twice:
# Setwell has the user authentication parts, Swapwell does not.
# linked in whole: the shared library would load ICU at every start for nothing
set(Boost_USE_STATIC_LIBS ON)
find_package(Boost REQUIRED COMPONENTS regex)
file(GLOB_RECURSE STACK_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/device/*.cpp
  ${CMAKE_SOURCE_DIR}/app/*.cpp
  ${CMAKE_SOURCE_DIR}/tools/*.cpp
  ${CMAKE_SOURCE_DIR}/resources/templates/*.cpp)
list(FILTER STACK_SOURCES EXCLUDE REGEX "/app/entry/")

foreach(flavor setwell swapwell)
  add_library(stack_${flavor} STATIC ${STACK_SOURCES})
  target_link_libraries(stack_${flavor} PUBLIC platform_ui platform_win KestlePortServer
                        Boost::regex Threads::Threads)
endforeach()
target_compile_definitions(stack_setwell PUBLIC SETWELL_USER_AUTH=1)

add_executable(Setwell ${CMAKE_SOURCE_DIR}/app/entry/main.cpp)
target_link_libraries(Setwell PRIVATE stack_setwell resources_setwell)
add_executable(Swapwell ${CMAKE_SOURCE_DIR}/app/entry/main.cpp)
target_link_libraries(Swapwell PRIVATE stack_swapwell resources_swapwell)
