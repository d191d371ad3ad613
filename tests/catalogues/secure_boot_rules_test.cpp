#include "catalogues/secure_boot_rules.h"

#include "catalogues/signature_lists.h"

#include <gtest/gtest.h>

using namespace signature_lists;

namespace {

std::vector<std::string> Pieces(const std::string& db, const std::vector<ByteRange>& ranges)
{
    std::vector<std::string> found;
    for (const ByteRange& range : ranges) found.push_back(db.substr(range.offset, range.size));
    return found;
}

std::vector<std::string> Certificates(const std::string& db, const SignatureListWalk& walk)
{
    return Pieces(db, walk.certificates);
}

}  // namespace

TEST(SignatureListWalkTest, YieldsTheCertificatesAndCertificateHashesOfEveryListAndNothingOfOtherTypes)
{
    const std::string a(32, 'a'), b(32, 'b'), c(48, 'c'), d(64, 'd');
    const std::string db = List(kX509Type, {"first-ca", "other-ca"}) + List(kSha256Type, {std::string(32, 'h')}) +
                           List(kX509Type, {"third-certificate"}, "head") +
                           List(kX509Sha256Type, {a + kRevokedAlways, b + std::string(16, '\x07')}) +
                           List(kX509Sha384Type, {c + kRevokedAlways}) + List(kX509Sha512Type, {d + kRevokedAlways});
    const SignatureListWalk walk = WalkSignatureLists(db);
    EXPECT_EQ(walk.problem, "");
    EXPECT_EQ(walk.lists, 6u);
    EXPECT_EQ(Certificates(db, walk), (std::vector<std::string>{"first-ca", "other-ca", "third-certificate"}))
        << "the list header skipped, and each entry's owner GUID";
    EXPECT_EQ(Pieces(db, walk.tbsHashes), (std::vector<std::string>{a, b, c, d}))
        << "the hash without its time of revocation, and no image hash (EFI_CERT_SHA256)";

    const SignatureListWalk none = WalkSignatureLists("");
    EXPECT_EQ(none.problem, "") << "an empty db is sound: it trusts nothing";
    EXPECT_TRUE(none.certificates.empty());
}

// A broken list after a sound one: the walk stops there, keeps what it found before, and says why.
TEST(SignatureListWalkTest, StopsAtTheFirstListThatDoesNotFitAndSaysWhy)
{
    const std::string good = List(kX509Type, {"good-ca"});
    const std::string oneEntry = kOwner + "0123456789abcdef";
    const struct {
        const char* name;
        std::string bad;
        const char* problem;
    } cases[] = {
        {"a header cut off", RawList(kX509Type, 60, 0, 32, "").substr(0, 20), "header is cut off"},
        {"a list size of zero, which would never move on", RawList(kX509Type, 0, 0, 32, oneEntry), "shorter than its own header"},
        {"a list without entries", RawList(kX509Type, 28, 0, 32, ""), "holds no entries"},
        {"a truncated list", RawList(kX509Type, 28 + 64, 0, 32, oneEntry), "runs past the end of the variable"},
        {"an oversized list", RawList(kX509Type, 0xFFFFFFFF, 0, 32, oneEntry), "runs past the end of the variable"},
        {"a header larger than the list", RawList(kX509Type, 28 + 32, 33, 32, oneEntry), "header runs past the list"},
        {"a header size that wraps around", RawList(kX509Type, 28 + 32, 0xFFFFFFF0, 32, oneEntry), "header runs past the list"},
        {"entries smaller than the owner GUID", RawList(kX509Type, 28 + 32, 0, 8, oneEntry), "too small for an owner and data"},
        {"entries of the owner GUID alone", RawList(kX509Type, 28 + 32, 0, 16, oneEntry), "too small for an owner and data"},
        {"entries of size zero", RawList(kX509Type, 28 + 32, 0, 0, oneEntry), "too small for an owner and data"},
        {"a part of an entry left over", RawList(kX509Type, 28 + 32, 0, 20, oneEntry), "does not hold whole entries"},
        {"a certificate hash without its time", RawList(kX509Sha256Type, 28 + 48, 0, 48, kOwner + std::string(32, 'h')),
         "not of the size its hash type gives them"},
        {"a SHA-384 list with entries of SHA-256 size", RawList(kX509Sha384Type, 28 + 64, 0, 64, kOwner + std::string(48, 'h')),
         "not of the size its hash type gives them"},
    };
    for (const auto& c : cases) {
        const std::string db = good + c.bad;
        const SignatureListWalk walk = WalkSignatureLists(db);
        EXPECT_NE(walk.problem.find(c.problem), std::string::npos) << c.name << ": " << walk.problem;
        EXPECT_EQ(walk.lists, 1u) << c.name;
        EXPECT_EQ(Certificates(db, walk), std::vector<std::string>{"good-ca"}) << c.name;
        EXPECT_TRUE(walk.tbsHashes.empty()) << c.name;
    }
}

TEST(KnownCaTest, IsRecognisedByNameAndThumbprintBoth)
{
    const KnownCa ca{"Test CA 2023", "00112233445566778899aabbccddeeff00112233", {}, {}, {}};
    const DbCertificate real{"Test CA 2023", std::string(ca.sha1)};
    const DbCertificate impostor{"Test CA 2023", "ffeeddccbbaa99887766554433221100ffeeddcc"};
    const DbCertificate renamed{"Test CA 2011", std::string(ca.sha1)};
    const DbCertificate undecodable{"", ""};

    EXPECT_EQ(FindCa({undecodable, real}, ca), CaPresence::Present);
    EXPECT_EQ(FindCa({impostor}, ca), CaPresence::NameOnly);
    EXPECT_EQ(FindCa({impostor, real}, ca), CaPresence::Present) << "the real one, wherever it stands";
    EXPECT_EQ(FindCa({renamed, undecodable}, ca), CaPresence::Absent);
    EXPECT_EQ(FindCa({}, ca), CaPresence::Absent);
}

// dbx wins over db, with the certificate or a hash of its TBSCertificate; what could not be read
// leaves the answer open only where it could change it.
TEST(KnownCaTest, TrustNeedsTheCaInDbAndNotInDbx)
{
    const std::string sha256(64, '2'), sha384(96, '3'), sha512(128, '5');
    const KnownCa ca{"Test CA 2011", "00112233445566778899aabbccddeeff00112233", sha256, sha384, sha512};
    const CertificateList holds{{{"Test CA 2011", std::string(ca.sha1)}}, true, {}};
    const CertificateList impostor{{{"Test CA 2011", "ffeeddccbbaa99887766554433221100ffeeddcc"}}, true, {}};
    const CertificateList none{{}, true, {}};
    const CertificateList unread{{}, false, {}};
    const CertificateList heldThenBroken{holds.certificates, false, {}};

    EXPECT_EQ(CaTrustText(holds, none, ca), "yes");
    EXPECT_EQ(CaTrustText(holds, holds, ca), "revoked");
    EXPECT_EQ(CaTrustText(holds, heldThenBroken, ca), "revoked") << "a broken dbx still refuses what it lists";
    EXPECT_EQ(CaTrustText(holds, impostor, ca), "yes") << "dbx refuses only the certificate it lists";
    EXPECT_EQ(CaTrustText(holds, unread, ca), "unknown");
    EXPECT_EQ(CaTrustText(heldThenBroken, none, ca), "yes") << "found before db broke off";
    EXPECT_EQ(CaTrustText(impostor, none, ca), "other-thumbprint");
    EXPECT_EQ(CaTrustText(none, unread, ca), "no") << "dbx cannot add trust";
    EXPECT_EQ(CaTrustText(unread, none, ca), "unknown");

    for (const std::string_view hash : {ca.tbsSha256, ca.tbsSha384, ca.tbsSha512}) {
        EXPECT_EQ(CaTrustText(holds, CertificateList{{}, true, {"ab", std::string(hash)}}, ca), "revoked") << hash.size();
        EXPECT_EQ(CaTrustText(holds, CertificateList{{}, false, {std::string(hash)}}, ca), "revoked") << "before dbx broke off";
    }
    EXPECT_EQ(CaTrustText(holds, CertificateList{{}, true, {std::string(64, '4')}}, ca), "yes") << "another certificate's hash";
    EXPECT_EQ(CaTrustText(impostor, CertificateList{{}, true, {std::string(ca.tbsSha256)}}, ca), "other-thumbprint");
}

// From dbx's bytes to the answer: the walk's hash, written as the table writes it, revokes the CA.
TEST(KnownCaTest, IsRevokedByTheHashOfItsToBeSignedPartAsDbxHoldsIt)
{
    const std::string hash("\x00\x7f\x80\xff\x4e\x80\xbe\x10\x7c\x86\x0d\xe8\x96\x38\x4b\x3e"
                           "\xff\x50\x50\x4d\xc2\xd7\x6a\xc7\x15\x1d\xf3\x10\x2a\x44\x50\x63", 32);
    const KnownCa ca{"Test CA 2011", "00112233445566778899aabbccddeeff00112233",
                     "007f80ff4e80be107c860de896384b3eff50504dc2d76ac7151df3102a445063", {}, {}};
    const std::string dbx = List(kX509Type, {"other-ca"}) + List(kX509Sha256Type, {hash + kRevokedAlways});
    const SignatureListWalk walk = WalkSignatureLists(dbx);
    const CertificateList db{{{"Test CA 2011", std::string(ca.sha1)}}, true, {}};

    EXPECT_EQ(CaTrustText(db, CertificateList{{}, walk.problem.empty(), TbsHashTexts(dbx, walk)}, ca), "revoked");
    const std::string imageHash = List(kSha256Type, {hash});
    EXPECT_EQ(CaTrustText(db, CertificateList{{}, true, TbsHashTexts(imageHash, WalkSignatureLists(imageHash))}, ca), "yes")
        << "an image's hash of the same bytes revokes no certificate";
}
