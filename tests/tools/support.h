// Building practices in the tests: failures show the generator's message.
#pragma once

#include "tools/practice/generator.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

inline practice::Practice Built(const practice::Options& options) {
    practice::Practice built;
    std::string error;
    EXPECT_TRUE(practice::BuildPractice(options, built, error)) << error;
    return built;
}

// Options with damages spelt as on mkpractice's command line.
inline practice::Options WithDamage(std::initializer_list<const char*> spellings, practice::Options options = {}) {
    for (const char* text : spellings) {
        practice::Damage damage;
        std::string error;
        EXPECT_TRUE(practice::ParseDamage(text, damage, error)) << error;
        options.damages.push_back(damage);
    }
    return options;
}

inline practice::Options Sound(practice::Options options) {
    options.leaveSound = true;
    return options;
}
