<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>%1 を書けません: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>PNG保存…</source>
        <translation>Save PNG…</translation>
    </message>
    <message>
        <source>SVG保存…</source>
        <translation>Save SVG…</translation>
    </message>
    <message>
        <source>PNG画像 (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>SVG画像 (*.svg)</source>
        <translation>SVG image (*.svg)</translation>
    </message>
    <message>
        <source>CSV保存…</source>
        <translation>Save CSV…</translation>
    </message>
    <message>
        <source>CSVファイル (*.csv)</source>
        <translation>CSV file (*.csv)</translation>
    </message>
</context>
<context>
    <name>geofluid::gui::ResultsWindow</name>
    <message>
        <source>計算結果</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>報告書と化学種の表に示すデータセット</source>
        <translation>The dataset shown in the report and the species table</translation>
    </message>
    <message>
        <source>データセット:</source>
        <translation>Dataset:</translation>
    </message>
    <message>
        <source>報告書を保存…</source>
        <translation>Save report…</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>テキスト (*.txt)</source>
        <translation>Text (*.txt)</translation>
    </message>
    <message>
        <source>%1 を書けません: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>報告書</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>飽和状態</source>
        <translation>Saturation</translation>
    </message>
    <message>
        <source>log 活量は常用対数です (報告書の Log(Activity) は ln(活量)/2.303)。灰色: この温度でデータのない化学種 (log K = 100)。見出しをクリックすると並べ替えます。</source>
        <translation>log activity is the decimal logarithm (the report's Log(Activity) is ln(activity)/2.303). Grey: species without data at this temperature (log K = 100). Click a heading to sort.</translation>
    </message>
    <message>
        <source>化学種</source>
        <translation>Species</translation>
    </message>
    <message>
        <source>計算温度</source>
        <translation>calculation temperature</translation>
    </message>
    <message>
        <source>pH測定温度</source>
        <translation>at the pH measurement temperature</translation>
    </message>
    <message>
        <source>pH測定温度以外</source>
        <translation>at another temperature</translation>
    </message>
    <message>
        <source>報告書は書かれていません: %1</source>
        <translation>The report was not written: %1</translation>
    </message>
    <message>
        <source>報告書を作れません: %1</source>
        <translation>The report cannot be made: %1</translation>
    </message>
    <message>
        <source>電荷</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>重量モル濃度</source>
        <translation>Molality</translation>
    </message>
    <message>
        <source>活量係数</source>
        <translation>Activity coefficient</translation>
    </message>
    <message>
        <source>活量</source>
        <translation>Activity</translation>
    </message>
    <message>
        <source>log 活量</source>
        <translation>log activity</translation>
    </message>
    <message>
        <source>この温度でデータがありません</source>
        <translation>No data at this temperature</translation>
    </message>
</context>
<context>
    <name>geofluid::gui::SaturationPanel</name>
    <message>
        <source>イオン強度</source>
        <translation>ionic strength</translation>
    </message>
    <message>
        <source>電荷収支</source>
        <translation>charge balance</translation>
    </message>
    <message>
        <source>蒸気の割合</source>
        <translation>steam fraction</translation>
    </message>
    <message>
        <source>鉱物</source>
        <translation>Mineral</translation>
    </message>
    <message>
        <source>過飽和 (SI &gt; 0)</source>
        <translation>oversaturated (SI &gt; 0)</translation>
    </message>
    <message>
        <source>未飽和 (SI &lt; 0)</source>
        <translation>undersaturated (SI &lt; 0)</translation>
    </message>
    <message>
        <source>飽和指数 SI = log(IAP/K)</source>
        <translation>Saturation index SI = log(IAP/K)</translation>
    </message>
</context>
</TS>
