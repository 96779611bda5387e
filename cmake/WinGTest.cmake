# GoogleTest built from Debian's sources with the cross compiler.
if(NOT TARGET velmo_gtest_win)
  set(GTEST_SRC /usr/src/googletest)
  add_library(velmo_gtest_win STATIC
    ${GTEST_SRC}/googletest/src/gtest-all.cc
    ${GTEST_SRC}/googletest/src/gtest_main.cc
    ${GTEST_SRC}/googlemock/src/gmock-all.cc)
  target_include_directories(velmo_gtest_win PUBLIC
    ${GTEST_SRC}/googletest/include ${GTEST_SRC}/googlemock/include)
  target_include_directories(velmo_gtest_win PRIVATE
    ${GTEST_SRC}/googletest ${GTEST_SRC}/googlemock)
endif()
