// The MIME type descriptions read for one language: the same texts as Qt's for every type
// the installed database has, in several languages; and the reader's rules on hand-made
// files (references, empty and repeated elements, XML comments, what it hands back to Qt).
#include "platform/mime_comment.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QMimeDatabase>

namespace velloria::shell {
namespace {

class DefaultLocale {
 public:
  explicit DefaultLocale(const QString& name) { QLocale::setDefault(QLocale(name)); }
  ~DefaultLocale() { QLocale::setDefault(m_saved); }

 private:
  QLocale m_saved;
};

TEST(MimeComment, EveryInstalledTypeReadsAsQtReadsItInSeveralLanguages) {
  const QList<QMimeType> types = QMimeDatabase().allMimeTypes();
  ASSERT_GT(types.size(), 300);
  for (const char* locale : {"it_IT", "de_CH", "pt_BR", "zh_TW", "en_US", "C"}) {
    DefaultLocale scope(QString::fromLatin1(locale));
    int differences = 0;
    for (const QMimeType& type : types) {
      QString ours = MimeTypeComment(type);
      QString qts = type.comment();
      if (ours != qts && ++differences <= 5) ADD_FAILURE() << locale << " " << type.name().toStdString() << ": " << ours.toStdString() << " / " << qts.toStdString();
    }
    EXPECT_EQ(differences, 0) << locale;
  }
}

TEST(MimeComment, ReaderRules) {
  const QStringList italian{"it_IT", "it", "default"};
  auto read = [&](std::string_view xml) { return CommentFromMimeXml(xml, italian); };

  // Language order, "it" for "it_IT", the untagged comment last; references decoded.
  EXPECT_EQ(read(R"(<mime-type><comment>Word document</comment>)"
                 R"(<comment xml:lang="de">Word-Dokument</comment>)"
                 R"(<comment xml:lang = 'it'>Documento &quot;Word&quot; &amp; &#233;&#xE8;</comment></mime-type>)"),
            QString::fromUtf8("Documento \"Word\" & éè"));
  EXPECT_EQ(read("<mime-type><comment>Word document</comment><comment xml:lang=\"de\">X</comment></mime-type>"),
            "Word document");
  // A later element of one language replaces an earlier one; an empty one is passed over.
  EXPECT_EQ(read("<comment xml:lang=\"it\">Primo</comment><comment xml:lang=\"it\">Secondo</comment>"
                 "<comment xml:lang=\"it_IT\"/>"),
            "Secondo");
  // A "<comment" inside an XML comment, or another element's name, is no comment.
  EXPECT_EQ(read("<!-- <comment>no</comment> --><comments>no</comments><comment>yes</comment>"), "yes");
  EXPECT_EQ(read("<mime-type><glob pattern=\"*.doc\"/></mime-type>"), QString());

  // Markup the reader does not take is handed back to Qt.
  for (std::string_view xml : {"<comment>a <b>bold</b> word</comment>", "<comment><![CDATA[x]]></comment>",
                               "<comment>&nbsp;</comment>", "<comment>&#xD800;</comment>",
                               "<comment>&#0;</comment>", "<comment>open", "<!-- open", "<comment xml:lang=it>x</comment>",
                               "<comment>&amp</comment>"}) {
    EXPECT_EQ(read(xml), std::nullopt) << xml;
  }
}

}  // namespace
}  // namespace velloria::shell
