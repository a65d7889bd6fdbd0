// The term's XML, the entity record it is made from, and the generation of
// the page from it.
#include "agreement/TSablotEngine.h"
#include "agreement/TermEntity.h"
#include "agreement/TermGenerator.h"
#include "agreement/TermXml.h"
#include "base/FileErrors.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

TUserData Entity(std::vector<std::string> Resp, const std::string& Cidade = "Recife")
{
    TUserData e;
    e.SetProfile("1");
    e.SetTipoInscricao("1");
    e.SetInscricao("11222333000181");
    e.Razao = "Alfa Comercio Ltda";
    e.Cidade = Cidade;
    e.RespList() = std::move(Resp);
    return e;
}

bool WellFormed(const std::string& Xml)
{
    xmlDocPtr doc = xmlReadMemory(Xml.data(), static_cast<int>(Xml.size()), "t.xml", nullptr,
                                  XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NONET);
    xmlFreeDoc(doc);
    return doc != nullptr;
}

TEST(TermXml, ByteForByte)
{
    EXPECT_EQ(TermXml::Build(Entity({"Ana Lima", "11111111111", "Rui \"R\" <Dias>", "22222222222"}), "07/12/2026"),
              "<?xml version = \"1.0\"?><termo><profile>01</profile><juridica>Alfa Comercio Ltda</juridica>"
              "<inscricao tipo=\"01\">11222333000181</inscricao><data>07/12/2026</data><cidade>Recife</cidade>"
              "<responsaveis><responsavel nome=\"Ana Lima\" cpf=\"11111111111\"/>"
              "<responsavel nome=\"Rui &quot;R&quot; &lt;Dias>\" cpf=\"22222222222\"/></responsaveis></termo>\r\n");
    EXPECT_NE(TermXml::Build(Entity({}), "x").find("<responsaveis></responsaveis>"), std::string::npos);
    TUserData noList;
    EXPECT_NE(TermXml::Build(noList, "x").find("<responsaveis></responsaveis>"), std::string::npos);
}

TEST(TermXml, AnyRecordGivesAWellFormedDocument)
{
    const struct {
        const char* Cidade;
        const char* Written;
    } cases[] = {
        {"Rio & Sao Paulo", "<cidade>Rio &amp; Sao Paulo</cidade>"},
        {"a<b \"q\"", "<cidade>a&lt;b \"q\"</cidade>"},
        {"x]]>y", "<cidade>x]]&gt;y</cidade>"},
        {"a>b", "<cidade>a>b</cidade>"},
        {"S\xE3o Jos\xE9 \x80", "<cidade>S\xC3\xA3o Jos\xC3\xA9 \xE2\x82\xAC</cidade>"},
        {"tab\there\x01", "<cidade>tab\there </cidade>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Cidade);
        const std::string xml = TermXml::Build(Entity({"N\xE9", "1"}, c.Cidade), "01/01/2026");
        EXPECT_NE(xml.find(c.Written), std::string::npos) << xml;
        EXPECT_TRUE(WellFormed(xml)) << xml;
    }
}

TEST(TermXml, TodayIsALocalDate)
{
    EXPECT_TRUE(std::regex_match(TermXml::Today(), std::regex(R"(\d\d/\d\d/\d{4})")));
}

TEST(TermEntity, ReadsTheRecordFromTheStorage)
{
    auto storage = TRequestFile::CreateFromLines(std::vector<std::string>{
        "[Request]", "Profile=2", "Tipo_Inscricao=2", "Inscricao=123", "Razao=Beta", "Cidade=Natal", "UF=RN", "[Resp]",
        "RespCount=2", "Resp1=Ana", "Cpf1=111", "Resp2=Bia", "Cpf2=222"});
    const TUserData e = TermEntity::FromStorage(*storage);
    EXPECT_EQ(e.Profile(), "02");
    EXPECT_EQ(e.Tipo_Inscricao(), "02");
    EXPECT_EQ(e.Inscricao(), "00000000000123");
    EXPECT_EQ(e.Razao, "Beta");
    EXPECT_EQ(e.UF, "RN");
    ASSERT_TRUE(e.Resp.has_value());
    EXPECT_EQ(*e.Resp, (std::vector<std::string>{"Ana", "111", "Bia", "222"}));
}

class TermGeneratorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data_ = tmp_.File("dados #1/");
        program_ = tmp_.File("programa/");
        fs::create_directories(data_);
        fs::create_directories(program_);
    }
    static std::string Read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Style(const std::string& text) { std::ofstream(program_ + TermXml::StyleFileName) << text; }
    testsupport::TempFolder tmp_{"qv-term"};
    std::string data_, program_;
};

TEST_F(TermGeneratorTest, TransformsWithTheShippedStylesheet)
{
    fs::copy_file(QUORVEX_APP_DIR "TermoAdesaoStyle.xsl", program_ + TermXml::StyleFileName);
    TSablotEngine engine;
    TermGenerator generator(data_, program_);
    const TermOutcome outcome = generator.Generate(
        Entity({"Ana Lima", "11111111111", "Bruno Reis", "22222222222"}, "Rio & Mar"), engine, "07/12/2026");
    ASSERT_EQ(outcome.Error, "");
    EXPECT_EQ(outcome.HtmlPath, data_ + "VerTermo.html");
    const std::string html = Read(outcome.HtmlPath);
    for (const char* part : {"Alfa Comercio Ltda", "11.222.333/0001-81", "Ana Lima", "111.111.111-11", "Bruno Reis",
                             "Rio &amp; Mar", "07/12/2026"})
        EXPECT_NE(html.find(part), std::string::npos) << part;
    EXPECT_LT(html.find("Ana Lima"), html.find("Bruno Reis"));
    EXPECT_EQ(Read(data_ + "TermoAdesao.xml").rfind("<?xml version = \"1.0\"?><termo>", 0), 0u);

    // An alphanumeric CNPJ is punctuated the same way.
    TUserData lettered = Entity({});
    lettered.SetInscricao("12ABC34501DE35");
    ASSERT_EQ(generator.Generate(lettered, engine, "07/12/2026").Error, "");
    EXPECT_NE(Read(data_ + "VerTermo.html").find("12.ABC.345/01DE-35"), std::string::npos);
}

TEST_F(TermGeneratorTest, NoStylesheetWritesTheXmlAndNoPage)
{
    std::ofstream(data_ + "VerTermo.html") << "another entity's term";
    TSablotEngine engine;
    const TermOutcome outcome = TermGenerator(data_, program_).Generate(Entity({}), engine, "01/02/2026");
    EXPECT_EQ(outcome.Error, "");
    EXPECT_EQ(outcome.HtmlPath, "");
    EXPECT_NE(Read(data_ + "TermoAdesao.xml").find("<data>01/02/2026</data>"), std::string::npos);
    EXPECT_FALSE(fs::exists(data_ + "VerTermo.html"));
}

TEST_F(TermGeneratorTest, AFailedTransformationLeavesNoOlderPage)
{
    Style("<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" "
          "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n<xsl:template match=\"/\">\n"
          "<xsl:value-of select=\"(((\"/></xsl:template></xsl:stylesheet>");
    std::ofstream(data_ + "VerTermo.html") << "another entity's term";
    TSablotEngine engine;
    const TermOutcome outcome = TermGenerator(data_, program_).Generate(Entity({}), engine, "01/02/2026");
    EXPECT_EQ(outcome.HtmlPath, "");
    EXPECT_NE(outcome.Error.find("at line 3"), std::string::npos) << outcome.Error;
    EXPECT_FALSE(fs::exists(data_ + "VerTermo.html"));
}

TEST_F(TermGeneratorTest, AnUnwritableXmlRaises)
{
    fs::create_directories(data_ + "TermoAdesao.xml"); // a folder in the way
    TSablotEngine engine;
    EXPECT_THROW(TermGenerator(data_, program_).Generate(Entity({}), engine, "x"), EFCreateError);
}

} // namespace
