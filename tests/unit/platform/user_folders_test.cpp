#include "platform/user_folders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace tarmix {
namespace {

// Sets an environment variable for the scope, and puts the old value back.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedVariable() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Without HOME (a service, a cron job) the user's files still go to the user's home, never
// into whatever folder the program was started from.
TEST(UserFolders, HomeComesFromThePasswordDatabaseWhenHomeIsNotSet) {
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    {
        ScopedVariable home("HOME", nullptr);
        ScopedVariable state("XDG_STATE_HOME", nullptr);
        EXPECT_EQ(HomeFolder(), user->pw_dir);
        EXPECT_EQ(XdgFolder("XDG_STATE_HOME", ".local/state"),
                  std::filesystem::path(user->pw_dir) / ".local/state");
    }
    ScopedVariable relative("HOME", "not/absolute");
    EXPECT_EQ(HomeFolder(), user->pw_dir);
    ScopedVariable set("XDG_STATE_HOME", "/var/state");
    EXPECT_EQ(XdgFolder("XDG_STATE_HOME", ".local/state"), "/var/state");
}

}  // namespace
}  // namespace tarmix
