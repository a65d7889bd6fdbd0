#include "app/steps/TCertificateMedium.h"

#include "app/steps/DriveOperations.h"
#include "app/steps/KeyFileOperations.h"
#include "app/steps/MediumQuestions.h"
#include "app/steps/StorageOperations.h"
#include "app/steps/TCertificateCreation.h"
#include "base/FormatText.h"
#include "base/LetterCase.h"
#include "base/SafeReplace.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"
#include "crypto/TRSAMedia.h"
#include "crypto/Wipe.h"
#include "store/StorageFile.h"
#include "store/TRequestFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Exists(const std::string& Path)
{
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

// Whether two names, however spelled, hold one file.
bool SameFile(const std::string& A, const std::string& B)
{
    struct stat a {
    }, b{};
    return ::stat(A.c_str(), &a) == 0 && ::stat(B.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether two folder names, however spelled, name one folder.
bool SameFolder(const std::string& A, const std::string& B)
{
    struct stat a {
    }, b{};
    return ::stat(A.c_str(), &a) == 0 && ::stat(B.c_str(), &b) == 0 && S_ISDIR(a.st_mode) && a.st_dev == b.st_dev
           && a.st_ino == b.st_ino;
}

} // namespace

std::string TCertificateMedium::WithKeyExtension(const std::string& FileName)
{
    const std::size_t slash = FileName.find_last_of('/');
    const std::size_t dot = FileName.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    if (hasExtension && LetterCase::SameText(std::string_view(FileName).substr(dot), ".PRI"))
        return FileName;
    return FileName + ".PRI";
}

bool TCertificateMedium::ReadBack(const std::string& FileName, const std::string& PublicKeyHex) const
{
    try {
        if (!FlushFileAndFolder(FileName))
            return false;
        auto media = C.MediaFor(FileName);
        std::string publicKey;
        media->Open();
        media->GetPublicKey(publicKey);
        media->Close();
        return !PublicKeyHex.empty() && StringToHex(publicKey) == PublicKeyHex;
    } catch (...) {
        return false;
    }
}

bool TCertificateMedium::FileDisk(const std::string& Id)
{
    TRequestFile* storage = C.ActiveStorage();
    if (Id.empty() || !storage)
        return false;
    const StorageFile file = StorageFile::Reading(*storage);
    if (!file.Signed(Id)) {
        C.Ask.Show(Texts::NotSignedYet);
        return false;
    }
    // The medium is asked for first; it is cleared only once the target is
    // chosen, right before the key is written, so a cancelled dialog
    // deletes nothing.
    if (!AskForMedium(C, Texts::InsertFormattedDisk))
        return false;

    const std::string drive = C.Paths.DriveA();
    TFileQuestion question{Texts::DiskTitle, Texts::DiskFilter, drive, PlainFileName(file.Name(Id), Id) + ".PRI"};
    std::string chosen;
    if (!C.Ask.ChooseSaveFile(question, chosen))
        return false;
    chosen = WithKeyExtension(chosen);
    // Asked about the name that will really be written.
    bool replace = false;
    if (Exists(chosen) && chosen != drive + Id + ".PRI") {
        if (C.Ask.Confirm(FormatText(Texts::ReplaceFileQuestion, {chosen}), TStepButtons::YesNoKeep) != mrYes)
            return false;
        replace = true;
    }
    // A key saved into another folder leaves the drive as it is.
    if (SameFolder(SafeReplace::FolderOf(chosen), drive) && !ClearMediumBeforeWriting(C))
        return false;

    C.Ask.Repaint();
    std::string extracted;
    {
        TBusyScope busy(C.Ask);
        try {
            extracted = ExtractKeyFile(*storage, Id, drive);
        } catch (...) {
            extracted.clear();
        }
    }
    if (extracted.empty()) {
        C.Ask.Show(FormatText(Texts::CannotGetMedia, {Id}));
        return false;
    }
    // Never replacing what stands under the chosen name unless the user
    // agreed; on another file system the key is copied and read back there.
    if (SafeReplace::MoveFile(extracted, chosen, replace) != 0) {
        C.Ask.Show(Texts::DiskWriteError);
        C.WipeAndReport(extracted);
        return false;
    }
    // A copy leaves the extracted key file behind.
    if (!SameFile(extracted, chosen))
        C.WipeAndReport(extracted);

    auto password = C.Ask.AskPassword(KeyFilePwd::pmChangePassword, {});
    if (!password || password->Result() != mrOk) {
        password.reset();
        C.WipeAndReport(chosen);
        return false;
    }

    C.Ask.Repaint();
    std::unique_ptr<TRSAMedia> media;
    // Any end but a confirmed medium: the medium closed and freed first, the
    // file under a provisional or half-changed password wiped, the
    // certificate kept.
    auto giveUp = [&](const std::string& Message) {
        password.reset();
        media.reset();
        C.WipeAndReport(chosen);
        if (!Message.empty())
            C.Ask.Show(Message);
        return false;
    };
    auto attemptChange = [&]() {
        std::string oldPassword, newPassword;
        password->GetPassword(oldPassword);
        password->GetNewPassword(newPassword);
        TBusyScope busy(C.Ask);
        bool changed = false;
        try {
            changed = media->ChangePassword(oldPassword, newPassword);
        } catch (...) {
            ZeroBuffer(oldPassword.data(), static_cast<int>(oldPassword.size()));
            ZeroBuffer(newPassword.data(), static_cast<int>(newPassword.size()));
            throw;
        }
        ZeroBuffer(oldPassword.data(), static_cast<int>(oldPassword.size()));
        ZeroBuffer(newPassword.data(), static_cast<int>(newPassword.size()));
        return changed;
    };

    int attempt = 1;
    bool ok = false;
    try {
        media = C.MediaFor(chosen);
        media->Open();
        ok = attemptChange();
        while (!ok && attempt <= 2) {
            C.Ask.Show(Texts::WrongCurrentPassword);
            password = C.Ask.AskPassword(KeyFilePwd::pmChangePassword, {});
            if (!password || password->Result() != mrOk)
                return giveUp({});
            C.Ask.Repaint();
            ++attempt;
            ok = attemptChange();
        }
        password.reset();
        media->Close();
        media.reset();
    } catch (const std::exception& e) {
        return giveUp(e.what());
    }
    if (!ok)
        return giveUp(Texts::TooManyPasswordAttempts);

    {
        TBusyScope busy(C.Ask);
        if (!ReadBack(chosen, file.PublicKey(Id)))
            return giveUp(Texts::MediumNotConfirmed);
    }
    TCertificateCreation(C).RemoveCertificate(Id, false);
    C.Ask.Show(FormatText(Texts::MediumWritten, {FileNameOf(chosen), FolderNameOf(chosen)}));
    return true;
}
