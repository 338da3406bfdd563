#pragma once
// Expects call to throw Error with exactly this message.
#include <gtest/gtest.h>

#include <string>

template <class Error, class Call>
void ExpectMessage(Call&& call, const std::string& message) {
  try {
    call();
    ADD_FAILURE() << "no exception, expected " << message;
  } catch (const Error& error) {
    EXPECT_EQ(error.Message(), message);
  }
}
