// Golden outputs of the default resources: every sentence of
// tests/golden/sentences.txt, segmented in the recommended mode, must give
// the line of the same number in tests/golden/expected.txt.  After a
// deliberate change (retrained resources, a fix), regenerate the expected
// file with scripts/update-golden.sh and review its diff like code.
//
// The second test keeps the output of a large generated text, in several
// modes and both charsets, byte for byte as tests/golden/checksums.txt
// records it, so that work on the speed of the segmenter cannot change a
// single word, tag or span unnoticed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "LXCharset.h"
#include "LXSegFunc.h"

namespace {

// The mode the README recommends, with PKU mode on.
const int kRecommendedMode = LX_POS | LX_PGU | LX_S2D | LX_CN | LX_T2S;

std::vector<std::string> ReadLines(const std::string& path, bool skip_comments) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (skip_comments && (line.empty() || line[0] == '#')) continue;
    out.push_back(line);
  }
  return out;
}

std::string Segment(HANDLE h, const std::string& text) {
  if (!LXSegment(h, text.c_str(), text.size(), LX_UTF8)) return "<segmentation failed>";
  std::string out;
  char tag[16];
  for (int i = 0; i < LXGetResultCnt(h); ++i) {
    pWP wp = LXGetAt(h, i);
    if (wp == nullptr || wp->word == nullptr) continue;
    LXPosId2Str(wp->pos, tag, sizeof tag);
    if (!out.empty()) out += ' ';
    out += wp->word;
    out += '/';
    out += tag;
  }
  return out;
}

TEST(Golden, DefaultResourcesGiveTheExpectedOutput) {
  const std::string dir = LX_SOURCE_DIR "/tests/golden/";
  const std::vector<std::string> sentences = ReadLines(dir + "sentences.txt", true);
  const std::vector<std::string> expected = ReadLines(dir + "expected.txt", false);
  ASSERT_GE(sentences.size(), 30u);

  testing::internal::CaptureStderr();
  const bool ok = LXInitSeg(LX_DEFAULT_RESOURCES);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(ok) << "cannot load " << LX_DEFAULT_RESOURCES;
  EXPECT_EQ(err, "") << "the default resources load silently";
  HANDLE h = LXCreateSegHandle(kRecommendedMode);
  ASSERT_NE(h, nullptr);
  LXSetPKUMode(h);

  std::vector<std::string> actual;
  for (const std::string& s : sentences) actual.push_back(Segment(h, s));
  LXCloseSegHandle(h);
  LXUnInitSeg();

  // scripts/update-golden.sh asks for the actual output.
  if (const char* out = std::getenv("LX_GOLDEN_OUTPUT")) {
    std::ofstream f(out, std::ios::binary);
    for (const std::string& a : actual) f << a << '\n';
  }
  ASSERT_EQ(expected.size(), sentences.size()) << "expected.txt has one line per sentence";
  for (size_t i = 0; i < sentences.size(); ++i)
    EXPECT_EQ(actual[i], expected[i]) << "sentence: " << sentences[i];
}

// FNV-1a over every token of the result: word, POS id, custom class, span.
struct Fnv {
  uint64_t h = 14695981039346656037ull;
  void add(const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
  }
  void add_num(uint64_t v) { add(&v, sizeof v); }
};

void HashResult(HANDLE h, Fnv& f) {
  const int n = LXGetResultCnt(h);
  f.add_num(static_cast<uint64_t>(n));
  for (int i = 0; i < n; ++i) {
    pWP wp = LXGetAt(h, i);
    const char* w = wp != nullptr && wp->word != nullptr ? wp->word : "";
    f.add(w, std::strlen(w) + 1);
    size_t begin = 0, len = 0;
    LXGetSpanAt(h, i, &begin, &len);
    f.add_num(wp != nullptr ? static_cast<uint64_t>(wp->pos) << 40 ^ static_cast<uint32_t>(wp->cls) << 1 ^ wp->bcw : 0);
    f.add_num(begin * 65536 + len);
  }
}

// About 1 MB of text from the golden sentences cut at random places and
// joined again, mixed with numbers, Latin words, full-width forms,
// traditional characters, names, custom-dictionary words and separators;
// one line is one paragraph.  The generator is its own (xorshift), so the
// text is the same under every standard library.
std::vector<std::string> GeneratedText(const std::vector<std::string>& sentences) {
  std::vector<std::vector<std::string>> chars;  // each sentence's code points
  for (const std::string& s : sentences) {
    chars.emplace_back();
    for (size_t i = 0; i < s.size(); ++i) {
      if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) chars.back().emplace_back();
      chars.back().back() += s[i];
    }
  }
  const char* extras[] = {"2026", "3.14", "１９９８年", "１２．５％", "15.8亿元", "百分之十二", "三百五十",
                          "iPhone", "Google", "ＡＢＣ", "http://www.example.com/a?b=1", "a.b@example.cn",
                          "張國榮", "經濟發展", "歐陽", "司马光", "诸葛亮说", "奥巴马", "拉吉夫·甘地",
                          "蓝鲸手机", "云帆浏览器", "清华大学", "中国科学院", "，", "。", "、", "“", "”",
                          "！", " ", "\t", "——", "（", "）", "：", "；", "？", "…", "-", "%", "《", "》"};
  uint64_t x = 88172645463325252ull;
  auto next = [&x](uint64_t n) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x % n;
  };
  std::vector<std::string> lines;
  std::string line;
  size_t total = 0;
  while (total < 1000000) {
    if (next(6) == 0) {
      line += extras[next(sizeof extras / sizeof *extras)];
    } else {
      const std::vector<std::string>& s = chars[next(chars.size())];
      size_t from = next(s.size()), len = 1 + next(6);
      for (size_t i = from; i < s.size() && i < from + len; ++i) line += s[i];
    }
    if (line.size() > 40 + next(400)) {
      total += line.size();
      lines.push_back(line);
      line.clear();
    }
  }
  return lines;
}

TEST(Golden, ChecksumsOfAGeneratedTextStayTheSame) {
  const std::string dir = LX_SOURCE_DIR "/tests/golden/";
  const std::vector<std::string> sentences = ReadLines(dir + "sentences.txt", true);
  std::vector<std::string> utf8 = GeneratedText(sentences);
  utf8.insert(utf8.end(), sentences.begin(), sentences.end());
  std::vector<std::string> gbk;  // what GBK holds of each line
  for (const std::string& l : utf8) {
    std::vector<char> buf(l.size() + 1);
    const int n = utf8_to_gbk(l.data(), static_cast<uint32_t>(l.size()), buf.data(),
                              static_cast<uint32_t>(buf.size()), 0);
    if (n > 0) gbk.emplace_back(buf.data(), static_cast<size_t>(n));
  }
  struct Run {
    const char* name;
    int mode;
    bool pku;
    bool with_gbk;
  };
  // The PKU mode stays until LXUnInitSeg, so its runs come last.
  const Run runs[] = {{"plain", 0, false, true},
                      {"names", LX_CN | LX_LN, false, false},
                      {"recommended", kRecommendedMode, true, true},
                      {"recommended+usr+orig", kRecommendedMode | LX_USR | LX_ORIG, true, false}};
  ASSERT_TRUE(LXInitSeg(LX_DEFAULT_RESOURCES));
  std::string actual;
  for (const Run& r : runs) {
    for (int charset : {LX_UTF8, LX_GBK}) {
      if (charset == LX_GBK && !r.with_gbk) continue;
      HANDLE h = LXCreateSegHandle(r.mode);
      ASSERT_NE(h, nullptr);
      if (r.pku) LXSetPKUMode(h);
      Fnv f;
      for (const std::string& l : charset == LX_GBK ? gbk : utf8) {
        if (LXSegment(h, l.data(), l.size(), charset)) HashResult(h, f);
        else f.add_num(~0ull);
      }
      LXCloseSegHandle(h);
      char hex[17];
      std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(f.h));
      actual += std::string(r.name) + (charset == LX_GBK ? " gbk " : " utf8 ") + hex + "\n";
    }
  }
  LXUnInitSeg();
  // scripts/update-golden.sh asks for the actual checksums.
  if (const char* out = std::getenv("LX_CHECKSUM_OUTPUT")) std::ofstream(out, std::ios::binary) << actual;
  std::ifstream in(dir + "checksums.txt", std::ios::binary);
  const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(actual, expected) << "the output changed; scripts/update-golden.sh rewrites checksums.txt";
}

// Coarse mode with the default resources: each rule, with LX_PGU and with
// the words as written (LX_ORIG), every reader agreeing, and the spans of
// the joined words still covering the text.
TEST(Golden, CoarseModeJoinsNamesNumeralsDatesAndOrganisations) {
  testing::internal::CaptureStderr();
  ASSERT_TRUE(LXInitSeg(LX_DEFAULT_RESOURCES)) << testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStderr();
  const struct {
    int mode;
    const char *text, *want;
  } cases[] = {
      {kRecommendedMode | LX_COARSE, "国家主席江泽民今天上午10时会见了国家电力公司代表。",
       "国家/n 主席/n 江泽民/nr 今天上午10时/t 会见/v 了/u 国家电力公司/nt 代表/n 。/w"},
      {kRecommendedMode | LX_COARSE | LX_ORIG | LX_NEW_RES, "他买了两个苹果和160万元的设备，１９９６年５月１２日第一个到达",
       "他/r 买/v 了/u 两个/m 苹果/n 和/c 160万元/m 的/u 设备/n ，/w １９９６年５月１２日/t 第一个/m 到达/v"},
      {kRecommendedMode | LX_COARSE | LX_GU, "英迪拉·甘地访问了北京市公安局和８个公司",
       "英迪拉·甘地/nr 访问/v 了/u 北京市公安局/nt 和/c 8个/m 公司/n"},
      {LX_COARSE | LX_CN | LX_PGU | LX_ORIG, "江泽民买了两个苹果", "江泽民/nr 买/unk 了/unk 两个/unk 苹果/unk"},
      {kRecommendedMode, "江泽民买了两个苹果", "江/nrf 泽民/nrg 买/v 了/u 两/m 个/q 苹果/n"},
  };
  for (const auto& c : cases) {
    HANDLE h = LXCreateSegHandle(c.mode);
    ASSERT_NE(h, nullptr);
    LXSetPKUMode(h);
    const std::string text = c.text;
    EXPECT_EQ(Segment(h, text), c.want) << std::hex << c.mode;
    // Every reader gives the same words, and the spans tile the text.
    seg_tokens_t st{};
    LXGetAllSegInfo(h, st);
    ASSERT_EQ(st.fine_grain_tokens_num, (size_t)LXGetResultCnt(h));
    size_t begin = 0, len = 0, end = 0;
    for (int i = 0; i < LXGetResultCnt(h); ++i) {
      ASSERT_TRUE(LXGetSpanAt(h, i, &begin, &len));
      EXPECT_EQ(begin, end);
      end = begin + len;
      if (c.mode & LX_ORIG) {
        EXPECT_EQ(text.substr(begin, len), LXGetWordAt(h, i));
      }
      EXPECT_EQ(st.fine_grain_seg_tokens[i].pos, LXGetAt(h, i)->pos);
    }
    EXPECT_EQ(end, text.size());
    if (c.mode & LX_NEW_RES) {
      EXPECT_EQ(st.thick_seg_tokens_num, 0u);
    }
    LXCloseSegHandle(h);
  }
  LXUnInitSeg();
}

// Person names on the default resources, in the recommended mode: each
// sentence must give the tagged words of `want` (in a row, as written) and no
// token containing `never`.
struct NameCase {
  const char* text;
  const char* want;
  const char* never;
};
const NameCase kNameCases[] = {
    // Transliterated names whole, also where the characters read like a
    // Chinese surname and given name or a known name has a character more.
    {"法国总统马克龙今天抵达北京。", "总统/n 马克龙/nr 今天/t", "/nrf"},
    {"联合国秘书长古特雷斯发表声明。", "秘书长/n 古特雷斯/nr 发表/v", nullptr},
    {"美国前总统特朗普昨天接受了采访。", "总统/n 特朗普/nr 昨天/t", nullptr},
    {"克林顿夫人希拉里参加竞选。", "克林顿/nr 夫人/n 希拉里/nr", nullptr},
    // Familiar forms are one name word, as the training text writes them.
    {"老王和小李一起去买菜。", "老王/nr 和/c 小李/nr", nullptr},
    {"小明今天没有来上学。", "小明/nr 今天/t", nullptr},
    {"张伟同志在会上发言。", "张/nrf 伟/nrg 同志/n", nullptr},
    {"王芳站在门口。", "王/nrf 芳/nrg 站/v", nullptr},
    // A surname that is also a common word before a given name that is a
    // place word.
    {"法院判处高龙岩有期徒刑。", "判处/v 高/nrf 龙岩/nrg", nullptr},
    {"大家都认识高安顺。", "认识/v 高/nrf 安顺/nrg 。/w", nullptr},
    // Not before a verb, an adjective or a common noun.
    {"他常怀想故乡。", "故乡/n", "/nr"},
    // No names: a place or an organisation named like a person, and
    // characters that are surnames or given names only elsewhere.
    {"他在网易杭研大厦工作。", "大厦/n", "/nr"},
    {"桂光集团起步很早。", "集团/n", "/nr"},
    {"警卫员没有马，每次都步行。", "没有/v", "/nr"},
    {"这位大侠执意不允。", "执意/d", "/nr"},
    {"他们在长城饭店吃晚饭。", "饭店/n", "/nr"},
    // Places and organisations named like persons: a numbered works, an
    // organisation's head, a name ending with a place's head, items of a
    // list of places; a place that only begins its item (北京 军区) says
    // nothing of the name before it.
    {"工人们在赵桥一矿上班。", "一/m 矿/n", "/nr"},
    {"他们参观了杜峰二厂。", "二/m 厂/n", "/nr"},
    {"新开了一家孙亮公司。", "公司/n", "/nr"},
    {"他在冯秋银行工作。", "银行/n", "/nr"},
    {"我们从周岭湖出发，去了郑乔镇。", "周岭湖/ns 出发/v", "/nr"},
    {"代表们来自巴黎、拉莫塔。", "巴黎/ns 、/w 拉莫塔/ns", nullptr},
    {"考察团访问了德里、卡瓦尼等国。", "德里/ns 、/w 卡瓦尼/ns 等/u 国/n", nullptr},
    {"会议由王宏、北京军区司令员李强主持。", "王/nrf 宏/nrg 、/w 北京/ns 军区/n", nullptr},
    // Words that the general word list tags as names without a name's shape.
    {"北方民族信仰萨满教。", "萨满教/n", "/nr"},
    {"地里种着糜子。", "糜子/n", "/nr"},
};

TEST(Golden, PersonNames) {
  ASSERT_TRUE(LXInitSeg(LX_DEFAULT_RESOURCES));
  HANDLE h = LXCreateSegHandle(kRecommendedMode);
  ASSERT_NE(h, nullptr);
  LXSetPKUMode(h);
  for (const NameCase& c : kNameCases) {
    const std::string out = " " + Segment(h, c.text) + " ";
    EXPECT_NE(out.find(std::string(" ") + c.want + " "), std::string::npos)
        << c.text << " -> " << out;
    if (c.never != nullptr) {
      EXPECT_EQ(out.find(c.never), std::string::npos) << c.text << " -> " << out;
    }
  }
  LXCloseSegHandle(h);
  LXUnInitSeg();
}

}  // namespace
