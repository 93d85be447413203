#include "encoding/ErrorTable.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/CodePage.h"

namespace pennaform {
namespace {

struct ErrorEntry {
    std::int32_t code;
    std::string_view format;
};

// Sorted by code. Some codes are set by no operation of the component; they
// stay because callers may look any of them up.
constexpr ErrorEntry kErrorTable[] = {
    {0, "成功(%d)"},
    {1001, "無法建立目錄(%d)"},
    {1002, "檔案無法讀取(%d)"},
    {1003, "檔案無法寫入(%d)"},
    {1101, "憑證檔不存在(%d)"},
    {1102, "憑證檔無法讀取(%d)"},
    {1103, "憑證檔無法寫入(%d)"},
    {1201, "PROPERTY 檔不存在(%d)"},
    {1202, "PROPERTY 檔無法讀取(%d)"},
    {1203, "PROPERTY 檔無法寫入(%d)"},
    {1500, "IE 受保護模式已啟動, 請加入信任網站, 並使用預設保護模式(關閉)(%d)"},
    {1501, "RSA 產生弱金鑰, 無法使用(%d)"},
    {3001, "尚未認證(%d)"},
    {3002, "認證失敗(%d)"},
    {3003, "下單主機不受信任, 認證失敗(%d)"},
    {3004, "認證(回覆)識別元錯誤, 認證失敗(%d)"},
    {3005, "重複認證(%d)"},
    {3201, "智慧卡服務, 已經停止(%d)"},
    {3202, "智慧卡拔插, 作業逾時(%d)"},
    {3203, "智慧卡拔插錯誤(%d)"},
    {3204, "智慧卡密碼錯誤次數過多, 已經鎖住(%d)"},
    {3205, "智慧卡服務已經停止(%d)"},
    {3206, "智慧卡密碼錯誤(%d)"},
    {3207, "發現停用的智慧卡載具(裝置), 請先排除此問題(%d)"},
    {3301, "憑證規則解密失敗(%d)"},
    {3302, "憑證規則內容錯誤(%d)"},
    {5001, "一般錯誤(%d)"},
    {5002, "配置記憶體發生錯誤(%d)"},
    {5003, "配置記憶體不足(%d)"},
    {5004, "不支援的功能(%d)"},
    {5005, "錯誤的參數(%d)"},
    {5006, "Handle錯誤(%d)"},
    {5008, "Base64 編碼錯誤(%d)"},
    {5010, "無法在憑證區(或憑證檔)中,找到指定憑證(%d)"},
    {5011, "憑證已過期(%d)"},
    {5012, "憑證尚未合法,無法使用(%d)"},
    {5013, "憑證可能過期或無法使用(%d)"},
    {5014, "憑證主旨錯誤(%d)"},
    {5015, "無法找到憑證發行者(%d)"},
    {5016, "不合法的憑證簽章(%d)"},
    {5017, "憑證用途(加解密,簽驗章)不合適(%d)"},
    {5018, "憑證尚未註冊, 無法找到指定憑證(%d)"},
    {5020, "憑證已撤銷(%d)"},
    {5021, "憑證已撤銷(金鑰洩露)(%d)"},
    {5022, "憑證已撤銷(CA compromised)(%d)"},
    {5023, "憑證已撤銷(聯盟已變更)(%d)"},
    {5024, "憑證已撤銷(已取代)(%d)"},
    {5025, "憑證已撤銷(已停止)(%d)"},
    {5026, "憑證保留或暫禁(%d)"},
    {5028, "憑證已被CRL撤銷(%d)"},
    {5030, "CRL已過期(%d)"},
    {5031, "不合法的CRL(%d)"},
    {5032, "無法找到CRL(%d)"},
    {5034, "CRL簽章值錯誤(%d)"},
    {5035, "Digest錯誤(%d)"},
    {5036, "不合法的簽章(%d)"},
    {5037, "內容錯誤(%d)"},
    {5040, "憑證格式錯誤(%d)"},
    {5041, "CRL格式錯誤(%d)"},
    {5042, "錯誤的PKCS7格式(%d)"},
    {5043, "Key的格式錯誤(%d)"},
    {5044, "不合法的PKCS10格式(%d)"},
    {5045, "不合適的格式(%d)"},
    {5046, "CSP 名稱錯誤 : 未指定或未安裝(%d)"},
    {5047, "作業系統不支援此 CSP(%d)"},
    {5048, "強制使用 AES/SHA2 CSP 失敗, 作業系統不支援(%d)"},
    {5049, "強制使用 AES/SHA2 CSP 情況下, 禁止變更使用其他 CSP(%d)"},
    {5050, "物件不存在(%d)"},
    {5051, "PKCS7內容沒有包含原文(%d)"},
    {5052, "PKCS7內容沒有包含憑證(%d)"},
    {5053, "PKCS7內容沒有包含簽章資訊(%d)"},
    {5060, "金鑰不存在(%d)"},
    {5061, "簽章失敗(%d)"},
    {5062, "驗章失敗(%d)"},
    {5063, "加密失敗(%d)"},
    {5064, "解密失敗(%d)"},
    {5065, "產生金鑰失敗(%d)"},
    {5066, "刪除憑證失敗(%d)"},
    {5067, "執行簽章時, 尚未選擇簽章憑證(%d)"},
    {5070, "使用者按下\"取消\"按鈕(%d)"},
    {5071, "密碼錯誤(%d)"},
    {5080, "無法剖析XML文件(%d)"},
    {5081, "無法在XML中,找到指定的標籤名稱(%d)"},
    {5200, "列舉 CSP 發生錯誤(%d)"},
    {5201, "開啟\"個人憑證區\"失敗(%d)"},
    {5202, "憑證鏈不存在(%d)"},
    {5203, "無法取得CSP資源(%d)"},
    {5204, "找不到關聯的私密金鑰(%d)"},
    {5205, "關聯的私密金鑰已被標記成\"不能匯出\"(%d)"},
    {5206, "個人憑證區存取被拒(%d)"},
    {5207, "PKCS12檔案格式錯誤(%d)"},
    {5208, "PKCS12 密碼錯誤(%d)"},
    {5209, "新密碼及確認密碼不一致(%d)"},
    {5210, "PFX 或記憶體憑證區存取被拒(%d)"},
    {5211, "CSP 存取被拒(%d)"},
    {5221, "開啟\"信任根憑證區\"失敗(%d)"},
    {5222, "開啟\"信任中繼憑證區\"失敗(%d)"},
    {5223, "開啟\"其他人憑證區\"失敗(%d)"},
    {5224, "憑證鏈有誤, 無法信任(%d)"},
    {5225, "IC 卡尚未備妥(%d)"},
    {5226, "開啟\"記憶體憑證區\"失敗(%d)"},
    {5301, "金鑰長度錯誤(%d)"},
    {5302, "金鑰產生失敗(%d)"},
    {5303, "憑證交換檔產生失敗(%d)"},
    {5304, "憑證請求檔產生失敗(%d)"},
    {5305, "ASN1編碼失敗(%d)"},
    {5400, "憑證交換檔讀不存在(%d)"},
    {5401, "憑證交換檔讀取失敗(%d)"},
    {5402, "憑證交換檔寫入失敗(%d)"},
    {5901, "Unicode錯誤(%d)"},
    {5902, "File Not Found(%d)"},
    {5903, "Path Not Found(%d)"},
    {5904, "Network path was not found(%d)"},
    {5905, "Unknown logon user name or bad password(%d)"},
    {5906, "使用者權限不足(%d)"},
    {7701, "一般錯誤(%d)"},
    {7704, "所指定的演算法不正確(%d)"},
    {7705, "執行簽驗章演算法時發生錯誤(%d)"},
    {7706, "簽章值錯誤(%d)"},
    {7707, "Reference的摘要值錯誤(%d)"},
    {7708, "執行正規化演算法時發生錯誤(%d)"},
    {7709, "執行Transform演算法時發生錯誤(%d)"},
    {7710, "執行Resolver時發生錯誤(%d)"},
    {7711, "找不到簽章值(%d)"},
    {7712, "解析XML文件時發生錯誤(%d)"},
    {7713, "所指向的文件不存在或為空值(%d)"},
    {7714, "憑證內容與<X509Data>的記載不符合(%d)"},
    {7715, "XML文件不存在或格式錯誤(%d)"},
    {7716, "參數不正確(%d)"},
    {7717, "不支援此C14N演算法(%d)"},
    {7718, "不支援此簽章演算法(%d)"},
    {7719, "不支援此摘要演算法(%d)"},
    {8706, "P12 檔尚未載入(%d)"},
    {8707, "P12 檔早已載入(%d)"},
    {9001, "加解密演算法錯誤(%d)"},
    {9002, "加解格式錯誤(%d)"},
    {9003, "加解密密碼長度錯誤(%d)"},
    {9004, "加密錯誤(%d)"},
    {9005, "解密錯誤(%d)"},
    {9006, "解密錯誤, 找不到可用憑證(%d)"},
};

constexpr std::string_view kUndefinedCode = "錯誤碼未定義(%d) ";

constexpr bool tableIsSorted() {
    for (std::size_t i = 1; i < std::size(kErrorTable); ++i) {
        if (kErrorTable[i - 1].code >= kErrorTable[i].code) return false;
    }
    return true;
}
static_assert(tableIsSorted());

// The formats in the process code page, converted once.
struct AnsiFormats {
    std::vector<std::string> known;
    std::string undefined;
};

const AnsiFormats& ansiFormats() {
    static const AnsiFormats formats = [] {
        const CodePage& codePage = CodePage::process();
        AnsiFormats f;
        for (const ErrorEntry& entry : kErrorTable)
            f.known.push_back(codePage.fromUtf8(entry.format));
        f.undefined = codePage.fromUtf8(kUndefinedCode);
        return f;
    }();
    return formats;
}

const ErrorEntry* findEntry(std::int32_t code) {
    auto it = std::lower_bound(std::begin(kErrorTable), std::end(kErrorTable), code,
                               [](const ErrorEntry& e, std::int32_t c) { return e.code < c; });
    return it != std::end(kErrorTable) && it->code == code ? it : nullptr;
}

}  // namespace

std::string_view errorMessageFormat(std::int32_t code) {
    const ErrorEntry* entry = findEntry(code);
    return entry ? entry->format : std::string_view();
}

std::string ErrorText(std::int32_t code) {
    const AnsiFormats& formats = ansiFormats();
    const ErrorEntry* entry = findEntry(code);
    const std::string& format =
        entry ? formats.known[std::size_t(entry - std::begin(kErrorTable))] : formats.undefined;
    std::string text = format;
    std::size_t at = text.find("%d");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(code));
    return text;
}

}  // namespace pennaform
