// A password typed into the password dialog must not stay anywhere in the
// process's memory once the dialog is gone, in any mode and whichever way it
// was closed: not in the edits' text, nor in a copy made to check it or to
// hand it over, freed blocks included. The memory is searched, as for keys,
// for the whole password and for every piece of 8 of its characters, in the
// one-byte form of the copies and in the two-byte form of Qt's strings.
//
// Blocks given back are kept while a dialog runs (free is replaced here), so
// that what a freed block held stays in place instead of being handed to the
// next allocation of its size, which would hide a copy left unwiped.
#include "support/MemorySearch.h"
#include "support/ModalAnswerer.h"
#include "support/Sanitizers.h"
#include "crypto/TFrmPwd.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace testsupport;
using namespace KeyFilePwd;

namespace {
std::atomic<bool> g_keepFreedBlocks{false};
} // namespace

// The sanitizers' allocator replaces free itself; the test does not run there.
#if !defined(__SANITIZE_ADDRESS__) && !(defined(__has_feature) && __has_feature(address_sanitizer))
extern "C" void __libc_free(void* p);
extern "C" void free(void* p) noexcept
{
    if (!g_keepFreedBlocks.load(std::memory_order_relaxed))
        __libc_free(p);
}
#endif

namespace {

constexpr std::size_t kWindow = 8;

// A password of 16 random digits and capitals, masked: the test never holds
// it whole, and types it one key at a time.
struct MaskedPassword {
    std::vector<unsigned char> masked;

    static MaskedPassword Random(std::mt19937& random)
    {
        static const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        MaskedPassword p;
        for (int i = 0; i < MaximumPasswordLength; ++i)
            p.masked.push_back(static_cast<unsigned char>(alphabet[random() % 36] ^ kMemoryMask));
        return p;
    }

    void TypeInto(TFrmPwd& dialog, const char* editName) const
    {
        auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(editName));
        ASSERT_NE(edit, nullptr) << editName;
        for (const unsigned char m : masked)
            QTest::keyClick(edit, static_cast<char>(m ^ kMemoryMask));
    }

    // Every 8 characters in a row, as single bytes and as UTF-16.
    void AddNeedles(const std::string& name, std::vector<MemoryNeedle>& needles) const
    {
        for (std::size_t at = 0; at + kWindow <= masked.size(); ++at) {
            MemoryNeedle latin1{name + ", one byte a character", {}};
            MemoryNeedle utf16{name + ", as a Qt string", {}};
            for (std::size_t k = at; k < at + kWindow; ++k) {
                latin1.masked.push_back(masked[k]);
                utf16.masked.push_back(masked[k]);
                utf16.masked.push_back(kMemoryMask); // the high byte, 0
            }
            needles.push_back(std::move(latin1));
            needles.push_back(std::move(utf16));
        }
    }
};

std::string Joined(const std::set<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : "; ") + name;
    return text;
}

} // namespace

TEST(PasswordMemory, NoTypedPasswordIsLeftOnceTheDialogIsGone)
{
    if (UnderAddressSanitizer)
        GTEST_SKIP() << "the sanitizer's allocator keeps freed blocks apart; the plain build checks this";
    std::mt19937 random(std::random_device{}());

    struct Case {
        const char* what;
        TPwdMode mode;
        // The edits typed into, in order, each with a password of its own
        // unless it repeats the one before (a confirmation).
        std::vector<const char*> edits;
        bool confirmationMatches;
        const char* button; // what closes the dialog
    };
    const Case cases[] = {
        {"current password, OK", pmAskPassword, {"PWD"}, true, "ButtonOK"},
        {"new password, OK", pmNewPassword, {"NewPWD", "ConfirmPWD"}, true, "ButtonOK"},
        {"change of password, OK", pmChangePassword, {"PWD", "NewPWD", "ConfirmPWD"}, true, "ButtonOK"},
        {"change of password, Cancel", pmChangePassword, {"PWD", "NewPWD", "ConfirmPWD"}, true, "ButtonCancel"},
        {"confirmation refused, then Cancel", pmNewPassword, {"NewPWD", "ConfirmPWD"}, false, "ButtonCancel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<MaskedPassword> typed;
        std::vector<MemoryNeedle> needles;
        for (const char* edit : c.edits) {
            const bool confirmation = std::string(edit) == "ConfirmPWD";
            if (!confirmation || !c.confirmationMatches || typed.empty())
                typed.push_back(MaskedPassword::Random(random));
            else
                typed.push_back(typed.back());
            typed.back().AddNeedles(edit, needles);
        }
        ASSERT_EQ(FoundInMemory(needles), std::set<std::string>{}) << "before anything was typed";

        std::set<std::string> whileTyped;
        g_keepFreedBlocks = true;
        {
            TFrmPwd dialog;
            dialog.KeySettleMs = 0;
            AnswerNextModal([&](QWidget*) {
                for (std::size_t i = 0; i < c.edits.size(); ++i)
                    typed[i].TypeInto(dialog, c.edits[i]);
                whileTyped = FoundInMemory(needles);
                if (!c.confirmationMatches) {
                    AnswerNextModal([](QWidget* message) { ClickButton(message, "OK"); });
                    ClickButton(&dialog, "ButtonOK");
                }
                ClickButton(&dialog, c.button);
            });
            dialog.Execute(c.mode);
        }
        QTest::qWait(1); // let the dialog's deferred deletions run
        const std::set<std::string> afterwards = FoundInMemory(needles);
        g_keepFreedBlocks = false;

        // The search finds a password where it is held.
        EXPECT_NE(Joined(whileTyped).find(std::string(c.edits[0]) + ", as a Qt string"), std::string::npos)
            << Joined(whileTyped);
        EXPECT_EQ(Joined(afterwards), "");
    }
}
