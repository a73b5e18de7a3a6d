// A scratch directory for a suite of whole runs of the capture tool.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>

// A new directory under /tmp whose name starts with prefix.
inline std::string MakeWorkDir(const char* prefix)
{
    std::string name = std::string("/tmp/") + prefix + "-XXXXXX";
    EXPECT_NE(mkdtemp(&name[0]), nullptr) << name;
    return name;
}

inline void RemoveWorkDir(const std::string& dir)
{
    std::string cmd = "rm -rf '" + dir + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}
